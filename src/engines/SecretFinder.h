#pragma once

#include "engines/OCRLayout.h"

#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>

namespace vistrel {

// What a finding is, in the order findings are claimed: a word taken by an earlier kind is
// not counted again by a later one (a token after "password=" is an API key, not a password).
enum class SecretKind {
    PrivateKey,
    ApiKey,
    Password,
    Email,
    Card,
    Iban,
    Phone,
    IpAddress,
    OwnWord,
    RandomString,
};

inline size_t qHash(SecretKind kind, size_t seed = 0)
{
    return ::qHash(int(kind), seed);
}

// Which kinds are looked for, and the user's own words (names, code names), matched as whole
// words without regard to case; a phrase of several words matches them in a row.
struct SecretRules
{
    QSet<SecretKind> off;
    QStringList ownWords;
    bool on(SecretKind kind) const { return !off.contains(kind); }
};

// One secret: what of its words is secret, as one box per row (top-down pixels of the picture
// the words were read from), its text as read, and for each box the larger one a mark covers
// (none: a margin around each box).
struct SecretFinding
{
    SecretKind kind;
    QString text;
    QList<QRect> boxes;
    QList<QRect> covers;
};

// Finds what looks secret in recognised words: e-mail addresses (also when recognition split
// one in two words or misread its @), phone numbers, IPv4 and IPv6 addresses, card numbers
// that pass the Luhn check, IBANs that pass theirs (or fit their country's shape when a digit
// was misread), API keys, tokens and webhook links by their known shapes, private key blocks,
// values after a password or token label (also a link's user and password), the user's own
// words, and long random-looking strings; a token the terminal wrapped is followed onto the
// next line. A label before a value stays readable: only the value's part of its word is
// covered, with a character's width to spare where the type's characters differ in width.
//
// Hexadecimal strings (commit hashes, checksums, image digests) are not random strings here:
// they name public content, a commit list is unreadable without them, and a secret written in
// hex is still found after its label. Nor are other public hashes (integrity strings, key
// fingerprints, commit links) or generated names of pods and containers.
class SecretFinder
{
public:
    explicit SecretFinder(SecretRules rules = {});

    // Lines in reading order, as OCRService::readWords gives them.
    QList<SecretFinding> find(const QList<LayoutLine> &lines) const;
    // The same, with the gaps between words measured on the picture's ink: recognition draws a
    // box a few pixels short of its glyphs now and then, which makes two pieces of one token
    // look a space apart. (Where characters lie is still told from recognition's boxes.)
    QList<SecretFinding> find(const QList<LayoutLine> &lines, const QImage &picture) const;
    static QList<LayoutLine> fittedToInk(QList<LayoutLine> lines, const QImage &picture);

    static const QList<SecretKind> &allKinds();
    // The key of the kind's switch in the settings.
    static QString settingsName(SecretKind kind);
    // The kind's switch in Preferences.
    static QString title(SecretKind kind);
    // "2 e-mail addresses", "1 API key".
    static QString counted(SecretKind kind, int n);

    // The checks that tell a number from a card number or an IBAN.
    static bool luhn(const QString &digits);
    static bool ibanValid(const QString &compact);
    // Shannon entropy in bits per character.
    static double entropy(const QString &text);
    // Long (minRandomLength), of several kinds of characters changing often, of high
    // entropy, and not hexadecimal.
    static bool looksRandom(const QString &token);
    static constexpr int minRandomLength = 20;
    static constexpr double minRandomEntropy = 3.7;

private:
    SecretRules m_rules;
};

} // namespace vistrel
