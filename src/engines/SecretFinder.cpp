#include "engines/SecretFinder.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace vistrel {

namespace {

using RX = QRegularExpression;

// A part of a recognised word: characters [from, to) of its text.
struct WordPart
{
    int word;
    int from;
    int to;
};

// A line's words as one string, each character knowing the word it came from (-1 for the
// spaces between them) and its place in that word.
struct Span
{
    QString text;
    QList<int> word;
    QList<int> offset;

    void append(const QString &s, int w)
    {
        text += s;
        for (qsizetype i = 0; i < s.size(); ++i) {
            word.append(w);
            offset.append(int(i));
        }
    }
    // The words of characters [from, to).
    QList<int> words(qsizetype from, qsizetype to) const
    {
        QList<int> out;
        for (const WordPart &p : parts(from, to))
            out.append(p.word);
        return out;
    }
    // The parts of words that characters [from, to) hold.
    QList<WordPart> parts(qsizetype from, qsizetype to) const
    {
        QList<WordPart> out;
        for (qsizetype i = std::max<qsizetype>(from, 0); i < to && i < word.size(); ++i) {
            if (word[i] < 0)
                continue;
            if (!out.isEmpty() && out.last().word == word[i])
                out.last().to = offset[i] + 1;
            else
                out.append({word[i], offset[i], offset[i] + 1});
        }
        return out;
    }
};

int digitCount(const QString &s)
{
    return int(std::count_if(s.cbegin(), s.cend(), [](QChar c) { return c.isDigit(); }));
}

QString digitsOf(const QString &s)
{
    QString out;
    for (QChar c : s)
        if (c.isDigit())
            out += c;
    return out;
}

// An address whose @ recognition misread: as ©, (a) or (@), or as a G between lower-case
// letters, where the domain must end in a common top-level domain.
const QRegularExpression &misreadAddress()
{
    static const RX rx(QStringLiteral(
        "(?<![A-Za-z0-9._%+-])[A-Za-z0-9._%+-]*[A-Za-z0-9](?:\u00A9|\\(a\\)|\\(@\\))"
        "[A-Za-z0-9-]+(?:\\.[A-Za-z0-9-]+)*\\.[A-Za-z]{2,}|"
        "(?<![A-Za-z0-9._%+-])[a-z0-9._%+-]*[a-z0-9]G[a-z0-9-]+(?:\\.[a-z0-9-]+)*\\."
        "(?:com|org|net|io|dev|app|co|de|uk|eu|fr|ch|at|nl|se|es|it|pl|edu|gov|info|me|ai|us|ca)"
        "(?![A-Za-z0-9])"));
    return rx;
}

// The length of the user and password at the start of a link's authority ("user:pass@host"),
// also where recognition misread the @; 0 for none (a host, a host and port, a user alone).
qsizetype credentialsLength(const QString &authority)
{
    const qsizetype colon = authority.indexOf(':');
    if (colon < 0 || authority.startsWith('['))
        return 0;
    const qsizetype at = authority.lastIndexOf('@');
    if (at > colon)
        return at;
    static const RX port(QStringLiteral("^\\d{1,5}\\W*$"));
    if (port.match(authority.mid(colon + 1)).hasMatch())
        return 0;
    for (const QString &sign :
         {QStringLiteral("\u00A9"), QStringLiteral("(a)"), QStringLiteral("(@)")}) {
        const qsizetype i = authority.lastIndexOf(sign);
        if (i > colon)
            return i;
    }
    static const RX host(
        QStringLiteral("G(?:[a-z0-9-]+(?:\\.[a-z0-9-]+)+|localhost)(?::\\d{1,5})?\\W*$"));
    const QRegularExpressionMatch m = host.match(authority, colon + 1);
    // Without a host to tell apart, all of it.
    return m.hasMatch() ? m.capturedStart() : authority.size();
}

// Recognition reads an e-mail address as two words where its glyphs stand apart around the
// @ or a dot; such neighbours are put together before addresses are looked for.
bool glued(const QString &left, const QString &right)
{
    if (left.isEmpty() || right.isEmpty())
        return false;
    if (left.endsWith('@') || right.startsWith('@'))
        return true;
    // An IPv6 address cut at its "::".
    if (left.endsWith(':') && right.startsWith(':'))
        return true;
    // An address cut before a dot of its local part ("EMAIL=tomas" ".novak@example.com").
    static const RX localStart(QStringLiteral("^[._-][A-Za-z0-9._%+-]*@"));
    // (Recognition reads a straight quote as a curly one now and then.)
    static const RX local(QStringLiteral("(?:^|[=:\"'\u201C\u2018(])[A-Za-z0-9._%+-]+$"));
    if (localStart.match(right).hasMatch() && local.match(left).hasMatch() && !left.contains('@'))
        return true;
    // A link's user and password cut after the colon ("postgres://app:" "s3cret@db").
    static const RX userEnd(QStringLiteral("://[^/\\s@]*:$"));
    if (right.contains('@') && userEnd.match(left).hasMatch())
        return true;
    // Also after a label ("EMAIL=jane." "doe@example.com").
    static const RX localEnd(QStringLiteral("(?:^|[=:\"'\u201C\u2018(])[A-Za-z0-9._%+-]*[._-]$"));
    if ((right.contains('@') || misreadAddress().match(right).hasMatch()) &&
        localEnd.match(left).hasMatch() && !left.contains('@'))
        return true;
    const qsizetype at = left.lastIndexOf('@');
    if (at < 0)
        return false;
    static const RX domainRest(QStringLiteral("^[.-]?[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*[A-Za-z]$"));
    const QString domain = left.mid(at + 1);
    // Cut after a dot or a dash, or before its first dot: the rest of a domain has its
    // top-level one after a dot.
    const bool cut = domain.endsWith('.') || domain.endsWith('-');
    const bool dotless = !domain.contains('.') && right.contains('.');
    return (cut || dotless || right.startsWith('.')) && domainRest.match(right).hasMatch();
}

bool ipv4Valid(const QString &s)
{
    const QStringList parts = s.split('.');
    if (parts.size() != 4)
        return false;
    for (const QString &p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v > 255 || p.size() > 3)
            return false;
    }
    return true;
}

bool ipv6Valid(const QString &s)
{
    const qsizetype doubled = s.count(QStringLiteral("::"));
    if (doubled > 1 || s.contains(QStringLiteral(":::")))
        return false;
    QStringList groups = s.split(':');
    groups.removeAll(QString());
    if (groups.size() > 8)
        return false;
    for (const QString &g : groups)
        if (g.size() > 4)
            return false;
    if (doubled == 0)
        return groups.size() == 8;
    // "a::b" is too common in code (and times never have "::"): two groups, one with a digit.
    return groups.size() >= 2 && std::any_of(groups.cbegin(), groups.cend(),
                                             [](const QString &g) { return digitCount(g) > 0; });
}

// Issuer prefixes and lengths of the cards in use: Visa, Mastercard, American Express,
// Discover, JCB, Diners, UnionPay, Maestro.
bool cardShape(const QString &d)
{
    const int n = int(d.size());
    auto prefix = [&](int lo, int hi, int digits) {
        const int v = d.left(digits).toInt();
        return v >= lo && v <= hi;
    };
    if (d.startsWith('4'))
        return n == 13 || n == 16 || n == 19;
    if (prefix(51, 55, 2) || prefix(2221, 2720, 4))
        return n == 16;
    if (prefix(34, 34, 2) || prefix(37, 37, 2))
        return n == 15;
    if (d.startsWith(QLatin1String("6011")) || d.startsWith(QLatin1String("65")) ||
        prefix(644, 649, 3))
        return n >= 16 && n <= 19;
    if (prefix(3528, 3589, 4))
        return n >= 16 && n <= 19;
    if (prefix(300, 305, 3) || d.startsWith(QLatin1String("36")) ||
        d.startsWith(QLatin1String("38")))
        return n >= 14 && n <= 19;
    if (d.startsWith(QLatin1String("62")))
        return n >= 16 && n <= 19;
    return false;
}

int ibanLength(const QString &country)
{
    static const QHash<QString, int> lengths{
        {"AD", 24}, {"AE", 23}, {"AT", 20}, {"BE", 16}, {"BG", 22}, {"CH", 21}, {"CY", 28},
        {"CZ", 24}, {"DE", 22}, {"DK", 18}, {"EE", 20}, {"ES", 24}, {"FI", 18}, {"FR", 27},
        {"GB", 22}, {"GR", 27}, {"HR", 21}, {"HU", 28}, {"IE", 22}, {"IS", 26}, {"IT", 27},
        {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21}, {"MC", 27}, {"MT", 31}, {"NL", 18},
        {"NO", 15}, {"PL", 28}, {"PT", 25}, {"RO", 24}, {"SE", 24}, {"SI", 19}, {"SK", 24},
        {"SM", 27}, {"TR", 26}};
    return lengths.value(country, 0);
}

// Classes of characters, for how often they change along a token.
int charClass(QChar c)
{
    if (c.isDigit())
        return 0;
    if (c.isUpper())
        return 1;
    if (c.isLower())
        return 2;
    return 3;
}

// The width of a character on the line: the median of its words' widths per character.
double characterWidth(const QList<LayoutWord> &words)
{
    std::vector<double> widths;
    for (const LayoutWord &w : words)
        if (w.text.size() >= 3)
            widths.push_back(double(w.box.width()) / double(w.text.size()));
    if (widths.empty())
        return words.isEmpty() ? 8.0 : std::max(4.0, words.first().box.height() * 0.5);
    std::nth_element(widths.begin(), widths.begin() + long(widths.size() / 2), widths.end());
    return widths[widths.size() / 2];
}

// A word that looks like a piece of a key rather than a word: digits, a separator first, or
// mixed case other than a capitalised word ("Fix").
bool pieceOfKey(const QString &t)
{
    if (t.isEmpty())
        return false;
    const bool digit = std::any_of(t.cbegin(), t.cend(), [](QChar c) { return c.isDigit(); });
    const bool upper = std::any_of(t.cbegin(), t.cend(), [](QChar c) { return c.isUpper(); });
    const bool lower = std::any_of(t.cbegin(), t.cend(), [](QChar c) { return c.isLower(); });
    const bool capitalised = t[0].isUpper() && std::all_of(t.cbegin() + 1, t.cend(),
                                                           [](QChar c) { return c.isLower(); });
    return digit || (upper && lower && !capitalised) || t.startsWith('-') || t.startsWith('_');
}

// A word of prose: letters only, in one case or capitalised, three or more.
bool plainWord(const QString &t)
{
    if (t.size() < 3 || !std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c.isLetter(); }))
        return false;
    const QString rest = t.mid(1);
    return rest == rest.toLower() || t == t.toUpper();
}

// How many of the words (of three characters or more) are of `advance` per character, and of
// how many.
std::pair<int, int> ofWidth(const QList<LayoutWord> &words, double advance)
{
    int agree = 0, all = 0;
    for (const LayoutWord &w : words) {
        if (w.text.size() < 3)
            continue;
        const double per = double(w.box.width()) / double(w.text.size());
        agree += std::abs(per - advance) <= 0.08 * advance;
        ++all;
    }
    return {agree, all};
}

// The type of the lines, line by line: fixed-width (where the place of a character in its
// word's box is known, not guessed) and its width per character. A screen whose lines of
// several words are nearly all of fixed width is a terminal's, of one type throughout;
// elsewhere a line of several words tells by itself.
struct LineType
{
    bool fixed = false;
    double advance = 8.0;
};

QList<LineType> lineTypes(const QList<LayoutLine> &lines)
{
    QList<LineType> out(lines.size());
    int agree = 0, all = 0;
    std::vector<double> pers;
    for (qsizetype l = 0; l < lines.size(); ++l) {
        const double advance = characterWidth(lines[l].words);
        const auto [a, n] = ofWidth(lines[l].words, advance);
        out[l] = {n >= 3 && a * 4 >= n * 3, advance};
        if (n >= 3)
            agree += a, all += n;
        for (const LayoutWord &w : lines[l].words)
            if (w.text.size() >= 3)
                pers.push_back(double(w.box.width()) / double(w.text.size()));
    }
    if (all < 6 || agree * 20 < all * 17 || pers.empty())
        return out;
    std::nth_element(pers.begin(), pers.begin() + long(pers.size() / 2), pers.end());
    const double screen = pers[pers.size() / 2];
    for (qsizetype l = 0; l < lines.size(); ++l)
        out[l] = {true, ofWidth(lines[l].words, 0).second < 3 ? screen : out[l].advance};
    return out;
}

// How wide a character is beside an average one in type whose characters differ in width.
double relativeWidth(QChar c)
{
    static const QString narrow = QStringLiteral("iljtfrI!|.,:;'`()[]{}\"/\\ ");
    static const QString wide = QStringLiteral("mwMW@%");
    if (narrow.contains(c))
        return 0.5;
    if (wide.contains(c))
        return 1.5;
    return c.isUpper() || c.isDigit() ? 1.15 : 1.0;
}

// The part of a word's box that characters [from, to) take, reaching a little beyond (a glyph
// rarely fills its cell): the label's last sign may be covered, never the value's first
// character left visible. Only a label or more than punctuation after the value is cut off.
// In fixed-width type the box and the line's character width must agree on the cut (where they
// do not, recognition's box is off at one end, and which is unknown: the whole word); in other
// type the place is a guess from typical widths, with a whole character to spare.
QRect partOf(const LayoutWord &word, int from, int to, bool fixed, double advance)
{
    const QString &t = word.text;
    const int n = int(t.size());
    auto letters = [&](int a, int b) {
        return std::any_of(t.cbegin() + a, t.cbegin() + b,
                           [](QChar c) { return c.isLetterOrNumber(); });
    };
    from = std::clamp(from, 0, n), to = std::clamp(to, from, n);
    if (!letters(0, from))
        from = 0;
    if (!letters(to, n))
        to = n;
    if (n == 0 || (from == 0 && to == n))
        return word.box;
    const double x0 = word.box.left(), width = word.box.width();
    double left = x0, right = x0 + width;
    int lo = word.box.left(), hi = word.box.right();
    if (fixed) {
        const double per = width / n;
        // A box shorter than its characters lost some at one end, which is unknown: the part
        // lies where its characters lie either way, also outside the box.
        const bool shortBox = width < (n - 0.5) * advance;
        if (shortBox) {
            lo = int(std::floor(x0 + width - n * advance));
            hi = int(std::ceil(x0 + n * advance)) - 1;
        }
        if (from > 0) {
            const double a = x0 + from * per, b = x0 + from * advance;
            if (std::abs(a - b) > 0.5 * advance && !shortBox)
                return word.box;
            left =
                (shortBox ? std::min({a, b, x0 + width - (n - from) * advance}) : std::min(a, b)) -
                0.3 * advance;
        }
        if (to < n) {
            const double a = x0 + to * per, b = x0 + width - (n - to) * advance;
            if (std::abs(a - b) > 0.5 * advance && !shortBox)
                return word.box;
            right =
                (shortBox ? std::max({a, b, x0 + to * advance}) : std::max(a, b)) + 0.3 * advance;
        }
    } else {
        // A box far wider or narrower than the line's type is off at one end.
        if (std::abs(width / n - advance) > 0.25 * advance)
            return word.box;
        std::vector<double> at(size_t(n) + 1, 0.0);
        for (int i = 0; i < n; ++i)
            at[size_t(i) + 1] = at[size_t(i)] + relativeWidth(t[i]);
        // The guess strays further the more characters it measures, from the nearer end.
        const double scale = width / at[size_t(n)], per = width / n;
        auto spare = [&](int at) { return (1.3 + 0.04 * std::min(at, n - at)) * per; };
        if (from > 0)
            left = x0 + at[size_t(from)] * scale - spare(from);
        if (to < n)
            right = x0 + at[size_t(to)] * scale + spare(to);
    }
    return QRect(QPoint(std::max(int(std::floor(left)), lo), word.box.top()),
                 QPoint(std::min(int(std::ceil(right)) - 1, hi), word.box.bottom()));
}

// What a mark covers of a finding's box on line `l`: a margin around it (a glyph's soft edge,
// JPEG's ringing), half of it where it was cut from a word whose label stays readable, reaching
// over the line's own glyphs above and below (a value of small letters lies lower than the
// capitals beside it), and at most halfway into the gap to the lines above and below.
QRect coverFor(const QRect &box, const QList<LayoutLine> &lines, qsizetype l, bool cutLeft,
               bool cutRight)
{
    const int m = 2 + box.height() / 8;
    std::vector<int> heights;
    for (const LayoutWord &w : lines[l].words)
        heights.push_back(w.box.height());
    int top = box.top(), bottom = box.bottom();
    if (!heights.empty()) {
        std::nth_element(heights.begin(), heights.begin() + long(heights.size() / 2),
                         heights.end());
        const int usual = heights[heights.size() / 2];
        for (const LayoutWord &w : lines[l].words)
            if (w.box.height() * 2 <= usual * 3 && w.box.top() <= box.bottom() &&
                w.box.bottom() >= box.top()) {
                top = std::min(top, w.box.top());
                bottom = std::max(bottom, w.box.bottom());
            }
    }
    QRect c(QPoint(box.left() - (cutLeft ? m / 2 : m), top - m),
            QPoint(box.right() + (cutRight ? m / 2 : m), bottom + m));
    auto quantile = [](std::vector<int> &v, size_t fourths) {
        const size_t i = std::min(v.size() - 1, v.size() * fourths / 4);
        std::nth_element(v.begin(), v.begin() + long(i), v.end());
        return v[i];
    };
    for (qsizetype k = 0; k < lines.size(); ++k) {
        if (k == l || lines[k].words.isEmpty())
            continue;
        // A box far taller than its line's (recognition merged it with a rule or a smear) is
        // trusted only a quarter of the line's height beyond where most of its words begin and
        // end; a box of small letters begins lower, one with a descender ends lower.
        std::vector<int> tops, bottoms;
        for (const LayoutWord &w : lines[k].words)
            tops.push_back(w.box.top()), bottoms.push_back(w.box.bottom());
        const int usualTop = quantile(tops, 3), usualBottom = quantile(bottoms, 1);
        const int slack = std::max(0, usualBottom - usualTop) / 4;
        for (const LayoutWord &w : lines[k].words) {
            const int centre = w.box.center().y();
            if (w.box.right() < c.left() || w.box.left() > c.right() ||
                (centre >= box.top() && centre <= box.bottom()))
                continue;
            const int wordTop = std::max(w.box.top(), usualTop - slack);
            const int wordBottom = std::min(w.box.bottom(), usualBottom + slack);
            if (centre < box.top())
                c.setTop(std::max(
                    c.top(),
                    std::min(box.top(), wordBottom + 1 + std::max(0, top - wordBottom - 1) / 2)));
            else
                c.setBottom(std::min(
                    c.bottom(),
                    std::max(box.bottom(), wordTop - 1 - std::max(0, wordTop - bottom - 1) / 2)));
        }
    }
    return c;
}

// Recognition's word gaps in characters: a space is more than a third of a character even in
// small proportional type; pieces of one token stand closer. A lost separator leaves a gap of one
// character of fixed-width type.
constexpr double tightGap = 0.36;
// In fixed-width type a space between two letters or digits is a whole character of blank and
// more; recognition's pieces of one token stand closer. (Signs such as a dash are narrow glyphs
// with room beside them in their cell.)
constexpr double fixedPieceGap = 0.9;
constexpr double loosePieceGap = 1.25;
constexpr double passwordPieceGap = 0.8;
constexpr double linkPieceGap = 2.5;

// The shapes of what is looked for, compiled once.
struct Patterns
{
    RX apiKey{QStringLiteral(
        "(?<![A-Za-z0-9])(?:"
        // Recognition may read an underscore or a dash of the prefix as a space, or lose it,
        // and cut the rest of a key into pieces (which join the finding after its prefix).
        "gh[pousr]_ ?[A-Za-z0-9]{4,}|gh[pousr] [A-Za-z0-9]{8,}|"
        "gh[pousr](?=[a-z]*[A-Z0-9])[A-Za-z0-9]{20,}|"
        "github(?:_ ?| )?pat(?:_ ?| )?[A-Za-z0-9_]{8,}|"
        "glpat-[A-Za-z0-9_-]{8,}|"
        "sk-(?:proj-|ant-)?[A-Za-z0-9_-]{20,}|"
        // (A small l read as a capital one, and a lost underscore read as a space.)
        "(?:sk|rk|pk)(?:_ ?| )?(?:[lL]ive|[tT]est)(?:_ ?| )?(?=[a-z]*[A-Z0-9])[A-Za-z0-9]{4,}|"
        "(?:AKIA|ASIA)[0-9A-Z]{16}|xox[abposr]-[A-Za-z0-9-]{10,}|xox[abposr][- ]{1,2}[0-9]{8,}|"
        "AIza[0-9A-Za-z_-]{2,}|"
        "eyJ[A-Za-z0-9_-]{8,}\\.eyJ[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}|"
        // A web token cut short where its line wraps, or its header and payload alone.
        "eyJ[A-Za-z0-9_-]{16,}(?:\\.[A-Za-z0-9_-]*)*|"
        "npm_[A-Za-z0-9]{36}|hf_[A-Za-z0-9]{30,}|SG\\.[A-Za-z0-9_-]{16,}\\.[A-Za-z0-9_-]{16,})")};
    RX label{QStringLiteral(
                 "(?<![A-Za-z0-9])[A-Za-z0-9_.-]*(?:password|passwd|passwort|pwd|secret|"
                 "token|api[_-]?key|"
                 "access[_-]?key|private[_-]?key|auth(?!ored))[A-Za-z0-9_.-]*\\s?[:=]\\s?[\"']?"
                 "(?:(?:Bearer|Basic|Token)\\s+)?([^\\s\"',;&]{3,})"),
             RX::CaseInsensitiveOption};
    RX query{QStringLiteral("[?&](?:key|api_key|apikey|token|access_token|secret|sig|"
                            "signature|password|auth)=([^&\\s]{6,})"),
             RX::CaseInsensitiveOption};
    RX authority{QStringLiteral("(?<![\\w.-])[A-Za-z][A-Za-z0-9+.-]*://([^/\\s]+)")};
    RX webhook{
        // Recognition cuts a link at its dots and slashes now and then.
        QStringLiteral("hooks\\. ?slack\\. ?com ?/ ?(?:services|workflows|triggers) ?/ ?(\\S{8,})|"
                       "discord(?:app)?\\. ?com ?/ ?api ?/ ?webhooks ?/ ?(\\S{8,})|"
                       "webhook\\. ?office\\. ?com ?/ ?webhookb2 ?/ ?(\\S{8,})|"
                       "outlook\\. ?office(?:365)?\\. ?com ?/ ?webhook ?/ ?(\\S{8,})"),
        RX::CaseInsensitiveOption};
    RX publicHash{
        // Recognition misreads a 5 as S, a 1 as l or I, a colon as a semicolon, and a sign of
        // the hash now and then.
        QStringLiteral("(?<![A-Za-z0-9])sha ?(?:1|2[5S]6|384|5[1lI]2)-[A-Za-z0-9+/][^\\s\"'<>]{7,}|"
                       "(?<![A-Za-z])(?:SHA ?(?:1|2[5S]6|384|5[1lI]2)|MD5)[:;] ?"
                       "[A-Za-z0-9+/:][^\\s\"'<>]{15,}|"
                       "\\S*/(?:commit|commits|tree|blob|compare)/[0-9a-f]{7,}\\S*")};
    RX base64Piece{QStringLiteral("^[A-Za-z0-9+/=]+[\"',]*$")};
    RX email{QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\\.[A-Za-z0-9-]+)*\\.[A-Za-z]{2,}")};
    RX digitRun{QStringLiteral("(?<![\\w.,/:-])\\d+(?:[ -]\\d+)+(?![\\w.,/:-]*\\d)|"
                               "(?<![\\w.,/:-])\\d{12,19}(?![\\w.,/:-]*\\d)")};
    RX ibanRun{QStringLiteral("(?<![A-Za-z0-9])[A-Z]{2}[0-9OIl]{2}(?: ?[A-Za-z0-9]){11,34}")};
    RX phones{QStringLiteral(
        "(?<![\\w.+])\\+\\d{1,3}(?:[ .-]?\\(?\\d{1,5}\\)?)(?:[ .-]?\\d{2,5}){1,5}(?![\\w.])|"
        "(?<![\\w.])\\(\\d{3}\\) ?\\d{3}[-. ]\\d{4}(?![\\w.])|"
        "(?<![\\w.])\\d{3}[-.]\\d{3}[-.]\\d{4}(?![\\w.])")};
    RX labelledPhone{
        QStringLiteral("(?<![A-Za-z])(?:tel|phone|mobile|mobil|cell|fax|telefon|call)\\.?:?\\s*"
                       "([+(]?\\d[\\d ()./-]{5,}\\d)"),
        RX::CaseInsensitiveOption};
    RX ipv4{QStringLiteral("(?<![\\w.])(?:\\d{1,3}\\.){3}\\d{1,3}(?![\\w]|\\.\\d)")};
    RX ipv6{QStringLiteral("(?<![\\w:.])[0-9A-Fa-f]{0,4}(?::[0-9A-Fa-f]{0,4}){2,7}(?![\\w:])")};
    // A piece that may go on a key, a piece of a character or two, a piece of a link.
    RX keyPart{QStringLiteral("^[A-Za-z0-9_+/=.'-]{3,}$|^[_-]+$")};
    RX shortPiece{QStringLiteral("^[A-Za-z0-9]{1,2}$")};
    RX urlPiece{QStringLiteral("^[^\\s\"'<>]+$")};
};

const Patterns &patterns()
{
    static const Patterns p;
    return p;
}

// One line's words as strings to match. `spaced` keeps every gap; `addresses` drops those
// inside an address; `joined` drops those too and those no space could fill (recognition cuts
// long tokens into pieces, in fixed-width type with gaps of up to most of a character).
struct LineText
{
    const QList<LayoutWord> &words;
    // The same words with their boxes fitted to the ink, for the gaps between them only: a box
    // grown over a glyph its text lost no longer tells where its characters lie.
    const QList<LayoutWord> &inked;
    double advance;
    // How far right the words up to each reach: recognition's boxes overlap now and then.
    QList<int> reached;
    Span spaced, joined, addresses;

    LineText(const QList<LayoutWord> &lineWords, const QList<LayoutWord> &inkedWords, bool fixed)
        : words(lineWords), inked(inkedWords), advance(characterWidth(lineWords)),
          reached(lineWords.size(), 0)
    {
        for (qsizetype w = 0; w < words.size(); ++w)
            reached[w] =
                std::max(w > 0 ? reached[w - 1] : inked[w].box.right(), inked[w].box.right());
        for (qsizetype w = 0; w < words.size(); ++w) {
            if (w > 0) {
                spaced.append(QStringLiteral(" "), -1);
                const bool address = glued(words[w - 1].text, words[w].text);
                if (!address)
                    addresses.append(QStringLiteral(" "), -1);
                const bool letters = !words[w - 1].text.isEmpty() && !words[w].text.isEmpty() &&
                                     words[w - 1].text.back().isLetterOrNumber() &&
                                     words[w].text.front().isLetterOrNumber();
                const double piece = fixed && letters ? fixedPieceGap : tightGap;
                if (gap(w) > piece * advance && !address)
                    joined.append(QStringLiteral(" "), -1);
            }
            spaced.append(words[w].text, int(w));
            joined.append(words[w].text, int(w));
            addresses.append(words[w].text, int(w));
        }
    }
    int gap(qsizetype w) const { return inked[w].box.left() - inked[w - 1].box.right() - 1; }
    // For a piece of a key, also from the furthest any word before reaches (not for joining
    // words: a box far too wide would swallow the gaps of a whole row).
    int pieceGap(qsizetype w) const
    {
        return std::min(gap(w), inked[w].box.left() - reached[w - 1] - 1);
    }
};

// One search through a picture's lines: which finding holds each word, kind by kind, then the
// findings' boxes and covers.
class Search
{
public:
    Search(const QList<LayoutLine> &lines, const QList<LayoutLine> &inked,
           const SecretRules &rules);
    QList<SecretFinding> run();

private:
    void take(qsizetype line, int w, int index, int from = 0, int to = -1);
    void claim(SecretKind kind, qsizetype line, const QList<WordPart> &parts);
    void each(qsizetype l, const RX &rx, const Span &span, SecretKind kind, int group,
              const std::function<bool(const QString &)> &valid = {});
    bool wraps(qsizetype l) const;

    void findPrivateKeys();
    void findKeysWithoutHeader();
    void markPublicHashes(qsizetype l, const LineText &t);
    void findTokens(qsizetype l, const LineText &t);
    void findPasswords(qsizetype l, const LineText &t);
    void extendPieces(qsizetype l, const LineText &t);
    void findLostColon(qsizetype l, const LineText &t, const Span &span,
                       const QRegularExpressionMatch &m);
    void findCards(qsizetype l, const LineText &t);
    void findIbans(qsizetype l, const LineText &t);
    void findRandomStrings(qsizetype l, const LineText &t);
    void findInLine(qsizetype l);
    void followWraps();
    void gatherBoxes();
    void reachAcrossGaps();

    const QList<LayoutLine> &m_lines;
    const QList<LayoutLine> &m_inked;
    const SecretRules &m_rules;
    const QList<LineType> m_types;
    QList<RX> m_own;
    QHash<int, int> m_rightEdge; // by panel
    QList<SecretFinding> m_found;
    // Which finding holds each word of each line, and which of its characters.
    QList<QList<int>> m_owner;
    QList<QList<std::pair<int, int>>> m_held;
    // Words of public hashes (integrity strings, key fingerprints, commit links): never random
    // strings nor pieces of a key.
    QList<QList<bool>> m_open;
    QSet<int> m_links; // findings that are links (webhooks), whose pieces stand further apart
    QHash<int, QSet<qsizetype>> m_wrapped; // by finding, the lines it goes on from
    // For each finding's box, its line and whether it was cut from its first and last word.
    QList<QList<qsizetype>> m_boxLine;
    QList<QList<std::pair<bool, bool>>> m_boxCut;
};

Search::Search(const QList<LayoutLine> &lines, const QList<LayoutLine> &inked,
               const SecretRules &rules)
    : m_lines(lines), m_inked(inked), m_rules(rules), m_types(lineTypes(lines)),
      m_owner(lines.size()), m_held(lines.size()), m_open(lines.size())
{
    for (qsizetype l = 0; l < lines.size(); ++l) {
        m_owner[l] = QList<int>(lines[l].words.size(), -1);
        m_held[l] = QList<std::pair<int, int>>(lines[l].words.size(), {0, 0});
        m_open[l] = QList<bool>(lines[l].words.size(), false);
    }
    if (m_rules.on(SecretKind::OwnWord))
        for (const QString &phrase : m_rules.ownWords) {
            QStringList parts = phrase.simplified().split(' ', Qt::SkipEmptyParts);
            if (parts.isEmpty())
                continue;
            for (QString &p : parts)
                p = RX::escape(p);
            m_own.append(RX(QStringLiteral("(?<![\\p{L}\\p{N}])") +
                                parts.join(QStringLiteral("\\s+")) +
                                QStringLiteral("(?![\\p{L}\\p{N}])"),
                            RX::CaseInsensitiveOption | RX::UseUnicodePropertiesOption));
        }
    for (const LayoutLine &line : lines)
        if (!line.words.isEmpty())
            m_rightEdge[line.panel] =
                std::max(m_rightEdge.value(line.panel, line.words.last().box.right()),
                         line.words.last().box.right());
}

QList<SecretFinding> Search::run()
{
    if (m_rules.on(SecretKind::PrivateKey)) {
        findPrivateKeys();
        findKeysWithoutHeader();
    }
    for (qsizetype l = 0; l < m_lines.size(); ++l)
        findInLine(l);
    followWraps();
    gatherBoxes();
    reachAcrossGaps();
    for (qsizetype i = 0; i < m_found.size(); ++i)
        for (qsizetype j = 0; j < m_found[i].boxes.size(); ++j)
            m_found[i].covers.append(coverFor(m_found[i].boxes[j], m_lines, m_boxLine[i][j],
                                              m_boxCut[i][j].first, m_boxCut[i][j].second));
    m_found.removeIf([](const SecretFinding &f) { return f.boxes.isEmpty(); });
    return m_found;
}

void Search::take(qsizetype line, int w, int index, int from, int to)
{
    if (to < 0)
        to = int(m_lines[line].words[w].text.size());
    auto &range = m_held[line][w];
    range = m_owner[line][w] == index
                ? std::pair{std::min(range.first, from), std::max(range.second, to)}
                : std::pair{from, to};
    m_owner[line][w] = index;
}

void Search::claim(SecretKind kind, qsizetype line, const QList<WordPart> &parts)
{
    if (parts.isEmpty() || !m_rules.on(kind))
        return;
    int already = -1;
    bool fresh = false;
    for (const WordPart &p : parts) {
        if (m_owner[line][p.word] >= 0)
            already = m_owner[line][p.word];
        else
            fresh = true;
    }
    if (!fresh)
        return;
    // Overlapping an earlier finding, the words join it; otherwise they are a new one.
    const int index = already >= 0 ? already : int(m_found.size());
    if (already < 0)
        m_found.append({kind, QString(), {}, {}});
    for (const WordPart &p : parts)
        take(line, p.word, index, p.from, p.to);
}

void Search::each(qsizetype l, const RX &rx, const Span &span, SecretKind kind, int group,
                  const std::function<bool(const QString &)> &valid)
{
    if (!m_rules.on(kind))
        return;
    for (auto it = rx.globalMatch(span.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int g = m.capturedStart(group) >= 0 ? group : 0;
        if (valid && !valid(m.captured(g)))
            continue;
        claim(kind, l, span.parts(m.capturedStart(g), m.capturedEnd(g)));
    }
}

// Whether line `l` runs to the right edge of its column and the next line begins at its
// start, as a terminal's wrapped line does.
bool Search::wraps(qsizetype l) const
{
    if (l < 0 || l + 1 >= m_lines.size())
        return false;
    const QList<LayoutWord> &words = m_lines[l].words, &next = m_lines[l + 1].words;
    if (words.isEmpty() || next.isEmpty() || m_lines[l + 1].panel != m_lines[l].panel)
        return false;
    const double advance = characterWidth(words);
    const QRect end = words.last().box;
    return end.right() >= m_rightEdge.value(m_lines[l].panel) - 2 * advance &&
           next.first().box.left() <= words.first().box.left() + advance &&
           next.first().box.top() - end.bottom() <= 2 * end.height();
}

// Private keys first: their header, the lines of the key and the footer.
void Search::findPrivateKeys()
{
    static const RX header(QStringLiteral("BEGIN[A-Z ]*PRIVATE\\s*KEY"), RX::CaseInsensitiveOption);
    static const RX footer(QStringLiteral("END[A-Z ]*PRIVATE\\s*KEY"), RX::CaseInsensitiveOption);
    // Recognition misreads a character of a key now and then.
    auto body = [](const QString &text) {
        const qsizetype base64 = std::count_if(text.cbegin(), text.cend(), [](QChar c) {
            return c.isLetterOrNumber() || c == '+' || c == '/' || c == '=';
        });
        return text.size() >= 16 && base64 >= text.size() * 9 / 10;
    };
    for (qsizetype l = 0; l < m_lines.size(); ++l) {
        QString text;
        for (const LayoutWord &w : m_lines[l].words)
            text += w.text + QLatin1Char(' ');
        if (!header.match(text).hasMatch())
            continue;
        const int index = int(m_found.size());
        m_found.append({SecretKind::PrivateKey, QString(), {}, {}});
        qsizetype k = l;
        for (; k < m_lines.size(); ++k) {
            QString joined;
            for (const LayoutWord &w : m_lines[k].words)
                joined += w.text;
            const bool end = k > l && footer.match(joined).hasMatch();
            if (k > l && !end && !body(joined))
                break;
            for (qsizetype w = 0; w < m_lines[k].words.size(); ++w)
                take(k, int(w), index);
            if (end) {
                ++k;
                break;
            }
        }
        l = k - 1;
    }
}

// A key whose header was not read (recognition takes a row of dashes for a rule): two or more
// rows in a row of nothing but the key's alphabet, long, and random.
void Search::findKeysWithoutHeader()
{
    auto concatenated = [&](qsizetype k) {
        QString joined;
        for (const LayoutWord &w : m_lines[k].words)
            joined += w.text;
        return joined;
    };
    auto keyRow = [&](qsizetype k) {
        if (k >= m_lines.size() ||
            std::any_of(m_owner[k].cbegin(), m_owner[k].cend(), [](int o) { return o >= 0; }))
            return false;
        // Every piece but the shortest looks like part of a key: digits, or mixed case that
        // is not a capitalised word. Prose and commit lists have words.
        for (const LayoutWord &w : m_lines[k].words)
            if (w.text.size() > 3 && !pieceOfKey(w.text))
                return false;
        const QString joined = concatenated(k);
        static const RX alphabet(QStringLiteral("^[A-Za-z0-9+/=]+$"));
        return joined.size() >= 40 && alphabet.match(joined).hasMatch();
    };
    for (qsizetype l = 0; l + 1 < m_lines.size(); ++l) {
        if (!keyRow(l) || !keyRow(l + 1) ||
            !(SecretFinder::looksRandom(concatenated(l)) ||
              SecretFinder::looksRandom(concatenated(l + 1))))
            continue;
        const int index = int(m_found.size());
        m_found.append({SecretKind::PrivateKey, QString(), {}, {}});
        qsizetype k = l;
        for (; keyRow(k); ++k)
            for (qsizetype w = 0; w < m_lines[k].words.size(); ++w)
                take(k, int(w), index);
        l = k - 1;
    }
}

// Public hashes, and the pieces recognition cut them into, also where the line before wrapped
// one.
void Search::markPublicHashes(qsizetype l, const LineText &t)
{
    const Patterns &p = patterns();
    const QList<LayoutWord> &words = t.words;
    if (wraps(l - 1) && m_open[l - 1].last())
        for (qsizetype w = 0;
             w < words.size() && (w == 0 || t.pieceGap(w) <= loosePieceGap * t.advance) &&
             p.base64Piece.match(words[w].text).hasMatch();
             ++w)
            m_open[l][w] = true;
    for (auto it = p.publicHash.globalMatch(t.joined.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QList<int> hash = t.joined.words(m.capturedStart(), m.capturedEnd());
        for (int w : hash)
            m_open[l][w] = true;
        for (qsizetype w = hash.isEmpty() ? words.size() : hash.last() + 1;
             w < words.size() && t.pieceGap(w) <= loosePieceGap * t.advance &&
             p.base64Piece.match(words[w].text).hasMatch();
             ++w)
            m_open[l][w] = true;
    }
}

// API keys and tokens by their known shapes, and webhooks' links.
void Search::findTokens(qsizetype l, const LineText &t)
{
    const Patterns &p = patterns();
    // A key runs to the end of its run of characters: recognition misreads one now and then as
    // a sign no key holds ("@" for "0").
    if (m_rules.on(SecretKind::ApiKey))
        for (auto it = p.apiKey.globalMatch(t.joined.text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            qsizetype end = m.capturedEnd();
            static const QString stops = QStringLiteral("\"',;&<>()[]{}`");
            // (A closing bracket with a letter or digit behind it is a misread glyph: "J" as ")".)
            const QString &text = t.joined.text;
            auto misread = [&](qsizetype i) {
                return QStringLiteral(")]}").contains(text[i]) && i + 1 < text.size() &&
                       text[i + 1].isLetterOrNumber();
            };
            while (end < text.size() && !text[end].isSpace() &&
                   (!stops.contains(text[end]) || misread(end)))
                ++end;
            claim(SecretKind::ApiKey, l, t.joined.parts(m.capturedStart(), end));
        }
    // A webhook's link is its key: the part after the service's fixed path.
    for (auto it = p.webhook.globalMatch(t.joined.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        for (int g = 1; g <= m.lastCapturedIndex(); ++g)
            if (m.capturedStart(g) >= 0 && m_rules.on(SecretKind::ApiKey)) {
                claim(SecretKind::ApiKey, l, t.joined.parts(m.capturedStart(g), m.capturedEnd(g)));
                const int w = t.joined.word[m.capturedStart(g)];
                if (w >= 0 && m_owner[l][w] >= 0)
                    m_links.insert(m_owner[l][w]);
                break;
            }
    }
}

// Values after a password or token label, in a link's query, and a link's user and password.
void Search::findPasswords(qsizetype l, const LineText &t)
{
    const Patterns &p = patterns();
    // A count ("Tokens: 1500") or the scheme of an Authorization header is no password.
    auto value = [](const QString &v) {
        static const QStringList schemes{"bearer", "basic", "token"};
        return (digitCount(v) < v.size() || v.size() >= 6) && !schemes.contains(v.toLower());
    };
    each(l, p.label, t.joined, SecretKind::Password, 1, value);
    each(l, p.query, t.joined, SecretKind::Password, 1);
    // A link's user and password, also where recognition misread the @ or cut there, or cut
    // the link into pieces closer than a space.
    if (m_rules.on(SecretKind::Password))
        for (const Span *span : {&t.addresses, &t.joined})
            for (auto it = p.authority.globalMatch(span->text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const qsizetype length = credentialsLength(m.captured(1));
                if (length > 0)
                    claim(SecretKind::Password, l,
                          span->parts(m.capturedStart(1), m.capturedStart(1) + length));
                else
                    findLostColon(l, t, *span, m);
            }
}

// A link's user alone, where recognition lost the colon after it and cut there: the words
// after it up to the @ of the host ("//billing" "4XMw7" "FdH1Z0g@db") are its password.
void Search::findLostColon(qsizetype l, const LineText &t, const Span &span,
                           const QRegularExpressionMatch &m)
{
    static const RX user(QStringLiteral("^[A-Za-z0-9_%+-]+$"));
    if (!user.match(m.captured(1)).hasMatch())
        return;
    const int w = span.word[m.capturedEnd(1) - 1];
    if (w < 0 || span.text.mid(m.capturedEnd(1), 1) != QStringLiteral(" "))
        return;
    QList<WordPart> parts = span.parts(m.capturedStart(1), m.capturedEnd(1));
    for (qsizetype k = w + 1; k < t.words.size() && k <= w + 3; ++k) {
        const QString &text = t.words[k].text;
        if (t.gap(k) > linkPieceGap * t.advance || text.contains('/') || text.contains(':'))
            return;
        const qsizetype at = text.indexOf('@');
        if (at < 0) {
            parts.append({int(k), 0, int(text.size())});
            continue;
        }
        if (at > 0 && at + 1 < text.size() && text[at + 1].isLetterOrNumber()) {
            parts.append({int(k), 0, int(at)});
            claim(SecretKind::Password, l, parts);
        }
        return;
    }
}

// A key runs on into the next word when recognition lost a separator in it ("_", "-") and cut
// it there: a word close enough behind it that looks like more of the key (digits or mixed
// case, or a separator first), not a plain word.
void Search::extendPieces(qsizetype l, const LineText &t)
{
    const Patterns &p = patterns();
    const QList<LayoutWord> &words = t.words;
    auto extends = [](SecretKind kind) {
        return kind != SecretKind::Email && kind != SecretKind::Card && kind != SecretKind::Iban &&
               kind != SecretKind::Phone && kind != SecretKind::IpAddress &&
               kind != SecretKind::OwnWord;
    };
    for (qsizetype w = 1; w < words.size(); ++w) {
        const int before = m_owner[l][w - 1];
        // A link's pieces need not look like a key; a piece of a character or two closer than a
        // space is part of whatever it stands in.
        const bool link = before >= 0 && m_links.contains(before);
        const bool crumb = p.shortPiece.match(words[w].text).hasMatch() &&
                           t.pieceGap(w) <= passwordPieceGap * t.advance;
        if (before < 0 || m_owner[l][w] >= 0 || m_open[l][w] ||
            m_held[l][w - 1].second < words[w - 1].text.size() ||
            (!crumb && !(link && p.urlPiece.match(words[w].text).hasMatch()) &&
             (!p.keyPart.match(words[w].text).hasMatch() || !pieceOfKey(words[w].text))))
            continue;
        // A password's value has no separators to lose: only a piece closer than a space. A
        // link loses a dash and the room around it.
        const SecretKind kind = m_found[before].kind;
        const double reach = kind == SecretKind::Password ? passwordPieceGap
                             : m_links.contains(before)   ? linkPieceGap
                                                          : loosePieceGap;
        if (t.pieceGap(w) <= reach * t.advance && extends(kind))
            take(l, int(w), before);
    }
    // A piece closer than a space before a key is its start, but not the label before a sign in
    // it ("KEY=JYb4RK5" "fMDIW7nu...").
    static const RX labelEnd(QStringLiteral("^[A-Za-z0-9_.-]*[=:][\"']?"));
    for (qsizetype w = words.size() - 2; w >= 0; --w) {
        const int after = m_owner[l][w + 1];
        if (after < 0 || m_owner[l][w] >= 0 || m_open[l][w] || m_held[l][w + 1].first > 0 ||
            !extends(m_found[after].kind) || t.gap(w + 1) > passwordPieceGap * t.advance)
            continue;
        const QString &text = words[w].text;
        const QRegularExpressionMatch label = labelEnd.match(text);
        const int from = label.hasMatch() ? int(label.capturedEnd()) : 0;
        const QString value = text.mid(from);
        if (((value.size() >= 3 && p.keyPart.match(value).hasMatch() && pieceOfKey(value)) ||
             p.shortPiece.match(value).hasMatch()) &&
            !value.contains('='))
            take(l, int(w), after, from, int(text.size()));
    }
}

// Every run of digit groups, and in it every stretch of whole groups long enough to be a card:
// a card number may stand beside an expiry date or a count.
void Search::findCards(qsizetype l, const LineText &t)
{
    if (!m_rules.on(SecretKind::Card))
        return;
    for (auto it = patterns().digitRun.globalMatch(t.spaced.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString run = m.captured(0);
        QList<std::pair<qsizetype, qsizetype>> groups; // start, end in `run`
        static const RX number(QStringLiteral("\\d+"));
        for (auto g = number.globalMatch(run); g.hasNext();) {
            const auto gm = g.next();
            groups.append({gm.capturedStart(), gm.capturedEnd()});
        }
        bool done = false;
        for (qsizetype a = 0; a < groups.size() && !done; ++a)
            for (qsizetype b = groups.size() - 1; b >= a && !done; --b) {
                const QString d =
                    digitsOf(run.mid(groups[a].first, groups[b].second - groups[a].first));
                if (d.size() < 13 || d.size() > 19 || !cardShape(d) || !SecretFinder::luhn(d))
                    continue;
                claim(SecretKind::Card, l,
                      t.spaced.parts(m.capturedStart() + groups[a].first,
                                     m.capturedStart() + groups[b].second));
                done = true;
            }
    }
}

void Search::findIbans(qsizetype l, const LineText &t)
{
    if (!m_rules.on(SecretKind::Iban))
        return;
    for (auto it = patterns().ibanRun.globalMatch(t.spaced.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString run = m.captured(0);
        // The country's length decides where it ends; unknown countries try every one.
        QString compact;
        QList<qsizetype> ends; // in `run`, after each character kept
        for (qsizetype i = 0; i < run.size(); ++i)
            if (run[i] != ' ') {
                compact += run[i];
                ends.append(i + 1);
            }
        // Check digits are digits; recognition reads 0 as O and 1 as I or l now and then, and
        // German and other numeric account numbers hold digits only.
        auto digitsFor = [](QString s, qsizetype from) {
            for (qsizetype i = from; i < s.size(); ++i)
                if (s[i] == 'O')
                    s[i] = '0';
                else if (s[i] == 'I' || s[i] == 'l')
                    s[i] = '1';
            return s;
        };
        compact = digitsFor(compact.left(4), 2) + compact.mid(4);
        const QString numeric = compact.left(4) + digitsFor(compact.mid(4), 0);
        const int expected = ibanLength(compact.left(2));
        bool valid = false;
        for (int n = int(compact.size()); n >= 15 && !valid; --n) {
            if (expected && n != expected)
                continue;
            if (!SecretFinder::ibanValid(compact.left(n)) &&
                !SecretFinder::ibanValid(numeric.left(n)))
                continue;
            claim(SecretKind::Iban, l,
                  t.spaced.parts(m.capturedStart(), m.capturedStart() + ends[n - 1]));
            valid = true;
        }
        // Recognition misread a digit and the checksum fails: a known country's exact length
        // that ends where the run or one of its groups ends, check digits, and an account
        // mostly of digits still make an IBAN.
        if (!valid && expected && compact.size() >= expected &&
            (compact.size() == expected || run[ends[expected - 1]] == ' ') &&
            digitCount(numeric.mid(2, 2)) == 2 &&
            digitCount(numeric.mid(4, expected - 4)) * 10 >= (expected - 4) * 6)
            claim(SecretKind::Iban, l,
                  t.spaced.parts(m.capturedStart(), m.capturedStart() + ends[expected - 1]));
    }
}

void Search::findRandomStrings(qsizetype l, const LineText &t)
{
    if (!m_rules.on(SecretKind::RandomString))
        return;
    static const RX tokens(QStringLiteral("\\S+"));
    static const RX pieces(QStringLiteral("[A-Za-z0-9+/_-]+"));
    for (auto it = tokens.globalMatch(t.joined.text); it.hasNext();) {
        const QRegularExpressionMatch token = it.next();
        // The parts of a token between punctuation other than the key alphabet's own (a URL's
        // slashes and queries, quotes, a label's colon or equals sign).
        const QList<int> tokenWords = t.joined.words(token.capturedStart(), token.capturedEnd());
        if (std::any_of(tokenWords.cbegin(), tokenWords.cend(),
                        [&](int w) { return m_open[l][w]; }))
            continue;
        for (auto pi = pieces.globalMatch(token.captured(0)); pi.hasNext();) {
            const QRegularExpressionMatch pm = pi.next();
            QString piece = pm.captured(0);
            while (piece.endsWith('-') || piece.endsWith('/'))
                piece.chop(1);
            // A path's parts stand apart: only one of them needs to be random, and a path with
            // words in it ("acme/web/commit/…") is judged by its parts alone.
            const QStringList parts = piece.split('/', Qt::SkipEmptyParts);
            const bool path =
                parts.size() > 1 && std::any_of(parts.cbegin(), parts.cend(), plainWord);
            bool random = !path && SecretFinder::looksRandom(piece);
            if (!random && parts.size() > 1)
                for (const QString &part : parts)
                    random = random || SecretFinder::looksRandom(part);
            if (random) {
                // Its label stays readable ("SESSION_ID=…").
                static const RX labelled(
                    QStringLiteral("^[\"'(]?[A-Za-z_][A-Za-z0-9_.-]*[\"']?[:=][\"']?$"));
                const qsizetype at = pm.capturedStart();
                const bool label = labelled.match(token.captured(0).left(at)).hasMatch();
                claim(
                    SecretKind::RandomString, l,
                    t.joined.parts(token.capturedStart() + (label ? at : 0), token.capturedEnd()));
                break;
            }
        }
    }
}

// The kinds in the order they claim words, on one line.
void Search::findInLine(qsizetype l)
{
    const Patterns &p = patterns();
    const LineText t(m_lines[l].words, m_inked[l].words, m_types[l].fixed);
    markPublicHashes(l, t);
    findTokens(l, t);
    findPasswords(l, t);
    extendPieces(l, t); // before random strings take the pieces for findings of their own
    // "icon@2x.png" is a file of a high-resolution screen, not an address.
    auto notFile = [](const QString &address) {
        static const QStringList pictures{"png",  "jpg", "jpeg", "gif", "svg",
                                          "webp", "ico", "bmp",  "pdf"};
        return !pictures.contains(address.section('.', -1).toLower());
    };
    each(l, p.email, t.addresses, SecretKind::Email, 0, notFile);
    each(l, misreadAddress(), t.addresses, SecretKind::Email, 0, notFile);
    findCards(l, t);
    findIbans(l, t);
    auto phoneDigits = [](const QString &v) {
        const int n = digitCount(v);
        return n >= 7 && n <= 15;
    };
    each(l, p.phones, t.spaced, SecretKind::Phone, 0, phoneDigits);
    each(l, p.labelledPhone, t.spaced, SecretKind::Phone, 1, phoneDigits);
    each(l, p.ipv4, t.addresses, SecretKind::IpAddress, 0, ipv4Valid);
    each(l, p.ipv6, t.addresses, SecretKind::IpAddress, 0, ipv6Valid);
    for (const RX &rx : m_own)
        each(l, rx, t.spaced, SecretKind::OwnWord, 0);
    findRandomStrings(l, t);
    extendPieces(l, t);
}

// A token the terminal wrapped goes on at the start of the next line: a key-like finding that
// ends its line at the right edge of its column takes the key-like words that begin the line
// below, and what sticks to them (a link's pieces cut at its dashes and dots).
void Search::followWraps()
{
    // (Any sign but quotes: recognition misreads a character of a key as one now and then.)
    static const RX tail(QStringLiteral("^[^\\s\"'<>]+[\"',;]*$"));
    static const RX hash(QStringLiteral("^[0-9a-f]{7,40}$")); // a commit list's
    static const RX alnum(QStringLiteral("^[A-Za-z0-9]+$"));
    auto keyLike = [](const QString &t) {
        return pieceOfKey(t) || (t.size() >= 12 && !plainWord(t));
    };
    for (qsizetype l = 0; l + 1 < m_lines.size(); ++l) {
        const QList<LayoutWord> &words = m_lines[l].words, &next = m_lines[l + 1].words;
        if (!wraps(l))
            continue;
        const int last = int(words.size()) - 1;
        const int index = m_owner[l][last];
        if (index < 0 || m_held[l][last].second < words[last].text.size())
            continue;
        const SecretKind kind = m_found[index].kind;
        if (kind != SecretKind::ApiKey && kind != SecretKind::Password &&
            kind != SecretKind::RandomString)
            continue;
        const double nextAdvance = characterWidth(next);
        auto token = [&](int o) {
            return o >= 0 && (m_found[o].kind == SecretKind::ApiKey ||
                              m_found[o].kind == SecretKind::RandomString);
        };
        const bool link = m_links.contains(index);
        // A misread crumb of a character or three closer than a space to a key-like word
        // ("MP}" "1imNOs3...") goes with it.
        auto startsKey = [&](qsizetype w) {
            return keyLike(next[w].text) || (next[w].text.size() <= 3 && w + 1 < next.size() &&
                                             next[w + 1].box.left() - next[w].box.right() - 1 <=
                                                 passwordPieceGap * nextAdvance &&
                                             keyLike(next[w + 1].text));
        };
        int reach = 0; // the furthest right the words before reach
        for (qsizetype w = 0; w < next.size(); ++w) {
            // The tail may have been taken for a random string of its own: it joins its head.
            const int other = m_owner[l + 1][w];
            const int gap = w > 0 ? next[w].box.left() - reach - 1 : 0;
            reach = std::max(w > 0 ? reach : next[w].box.right(), next[w].box.right());
            const bool sticks = w > 0 && gap <= tightGap * nextAdvance;
            const bool crumb =
                w > 0 && gap <= passwordPieceGap * nextAdvance && next[w].text.size() <= 2;
            if ((other >= 0 && !token(other)) || other == index || m_open[l + 1][w] ||
                !tail.match(next[w].text).hasMatch() ||
                (!sticks && !crumb &&
                 ((w == 0 && !link && hash.match(next[w].text).hasMatch()) ||
                  (!startsKey(w) && !(link && (w > 0 || alnum.match(next[w].text).hasMatch()))) ||
                  gap > (link ? linkPieceGap : loosePieceGap) * nextAdvance)))
                break;
            take(l + 1, int(w), index);
            m_wrapped[index].insert(l);
        }
    }
}

// Each finding's words, as one box per line and the text read.
void Search::gatherBoxes()
{
    const QList<LineType> &types = m_types;
    m_boxLine = QList<QList<qsizetype>>(m_found.size());
    m_boxCut = QList<QList<std::pair<bool, bool>>>(m_found.size());
    for (qsizetype i = 0; i < m_found.size(); ++i) {
        QStringList text;
        for (qsizetype l = 0; l < m_lines.size(); ++l) {
            QRect box;
            QStringList lineText;
            bool cutLeft = false, cutRight = false;
            const auto [fixed, advance] = types[l];
            const QList<LayoutWord> &words = m_lines[l].words;
            for (qsizetype w = 0; w < words.size(); ++w)
                if (m_owner[l][w] == int(i)) {
                    LayoutWord word = words[w];
                    const auto [from, to] = m_held[l][w];
                    // A box that runs over the next word's holds none of this word's characters
                    // there: where they lie is told from the rest. What it covers to its end
                    // stays covered all the same.
                    const QRect whole = word.box;
                    if (w + 1 < words.size()) {
                        const QRect &next = words[w + 1].box;
                        if (next.left() > word.box.left() && next.left() <= word.box.right())
                            word.box.setRight(next.left() - 1);
                    }
                    QRect part = partOf(word, from, to, fixed, advance);
                    if (to >= word.text.size()) {
                        part.setRight(whole.right());
                        word.box = whole;
                    }
                    if (box.isNull())
                        cutLeft = part.left() > word.box.left();
                    cutRight = part.right() < word.box.right();
                    box = box.united(part);
                    lineText << word.text.mid(from, to - from);
                }
            if (box.isNull())
                continue;
            // Where the terminal wrapped it, it fills its line to the edge of the column (a
            // sign recognition left out there, such as a dash, is covered too).
            if (m_wrapped.value(int(i)).contains(l))
                box.setRight(std::max(box.right(), m_rightEdge.value(m_lines[l].panel)));
            text << lineText.join(' ');
            // Pieces of one row that recognition gave as two lines are one box: the gap
            // between them is part of the secret.
            bool merged = false;
            for (QRect &b : m_found[i].boxes) {
                const int overlap =
                    std::min(b.bottom(), box.bottom()) - std::max(b.top(), box.top());
                const int apart = std::max(b.left(), box.left()) - std::min(b.right(), box.right());
                if (overlap * 2 >= std::min(b.height(), box.height()) &&
                    apart <= 2 * std::max(b.height(), box.height())) {
                    b = b.united(box);
                    merged = true;
                    break;
                }
            }
            if (!merged) {
                m_found[i].boxes.append(box);
                m_boxLine[i].append(l);
                m_boxCut[i].append({cutLeft, cutRight});
            }
        }
        m_found[i].text = text.join('\n');
    }
}

// Two key-like findings close together on one row were likely one key that recognition gave as
// two lines: each box reaches across the gap to the other, so that a character lost between
// them is covered too.
void Search::reachAcrossGaps()
{
    auto token = [](SecretKind k) {
        return k == SecretKind::ApiKey || k == SecretKind::RandomString ||
               k == SecretKind::Password;
    };
    for (SecretFinding &f : m_found)
        for (QRect &b : f.boxes)
            for (const SecretFinding &g : m_found) {
                if (&g == &f || !token(f.kind) || !token(g.kind))
                    continue;
                for (const QRect &c : g.boxes) {
                    const int overlap =
                        std::min(b.bottom(), c.bottom()) - std::max(b.top(), c.top());
                    if (overlap * 2 < std::min(b.height(), c.height()))
                        continue;
                    const int reach = 3 * std::max(b.height(), c.height());
                    if (c.left() > b.right() && c.left() - b.right() <= reach)
                        b.setRight(c.left() - 1);
                    else if (b.left() > c.right() && b.left() - c.right() <= reach)
                        b.setLeft(c.right() + 1);
                }
            }
}

} // namespace

SecretFinder::SecretFinder(SecretRules rules) : m_rules(std::move(rules)) {}

const QList<SecretKind> &SecretFinder::allKinds()
{
    static const QList<SecretKind> all{
        SecretKind::Email,        SecretKind::Phone,  SecretKind::IpAddress,  SecretKind::Card,
        SecretKind::Iban,         SecretKind::ApiKey, SecretKind::PrivateKey, SecretKind::Password,
        SecretKind::RandomString, SecretKind::OwnWord};
    return all;
}

QString SecretFinder::settingsName(SecretKind kind)
{
    switch (kind) {
    case SecretKind::PrivateKey:
        return QStringLiteral("privateKeys");
    case SecretKind::ApiKey:
        return QStringLiteral("apiKeys");
    case SecretKind::Password:
        return QStringLiteral("passwords");
    case SecretKind::Email:
        return QStringLiteral("emails");
    case SecretKind::Card:
        return QStringLiteral("cards");
    case SecretKind::Iban:
        return QStringLiteral("ibans");
    case SecretKind::Phone:
        return QStringLiteral("phones");
    case SecretKind::IpAddress:
        return QStringLiteral("ipAddresses");
    case SecretKind::OwnWord:
        return QStringLiteral("ownWords");
    case SecretKind::RandomString:
        return QStringLiteral("randomStrings");
    }
    return {};
}

QString SecretFinder::title(SecretKind kind)
{
    const char *text = "";
    switch (kind) {
    case SecretKind::PrivateKey:
        text = QT_TRANSLATE_NOOP("SecretFinder", "Private keys");
        break;
    case SecretKind::ApiKey:
        text = QT_TRANSLATE_NOOP("SecretFinder", "API keys and tokens");
        break;
    case SecretKind::Password:
        text = QT_TRANSLATE_NOOP("SecretFinder", "Passwords after a label (password=, token:)");
        break;
    case SecretKind::Email:
        text = QT_TRANSLATE_NOOP("SecretFinder", "E-mail addresses");
        break;
    case SecretKind::Card:
        text = QT_TRANSLATE_NOOP("SecretFinder", "Payment card numbers");
        break;
    case SecretKind::Iban:
        text = QT_TRANSLATE_NOOP("SecretFinder", "IBANs");
        break;
    case SecretKind::Phone:
        text = QT_TRANSLATE_NOOP("SecretFinder", "Phone numbers");
        break;
    case SecretKind::IpAddress:
        text = QT_TRANSLATE_NOOP("SecretFinder", "IP addresses");
        break;
    case SecretKind::OwnWord:
        text = QT_TRANSLATE_NOOP("SecretFinder", "My own words");
        break;
    case SecretKind::RandomString:
        text = QT_TRANSLATE_NOOP("SecretFinder", "Long random-looking strings");
        break;
    }
    return QCoreApplication::translate("SecretFinder", text);
}

QString SecretFinder::counted(SecretKind kind, int n)
{
    // Singular and plural spelled out: the German catalogue needs no plural forms either.
    const char *one = "", *many = "";
    switch (kind) {
    case SecretKind::PrivateKey:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 private key");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 private keys");
        break;
    case SecretKind::ApiKey:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 API key");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 API keys");
        break;
    case SecretKind::Password:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 password");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 passwords");
        break;
    case SecretKind::Email:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 e-mail address");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 e-mail addresses");
        break;
    case SecretKind::Card:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 card number");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 card numbers");
        break;
    case SecretKind::Iban:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 IBAN");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 IBANs");
        break;
    case SecretKind::Phone:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 phone number");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 phone numbers");
        break;
    case SecretKind::IpAddress:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 IP address");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 IP addresses");
        break;
    case SecretKind::OwnWord:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 of your words");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 of your words");
        break;
    case SecretKind::RandomString:
        one = QT_TRANSLATE_NOOP("SecretFinder", "1 random string");
        many = QT_TRANSLATE_NOOP("SecretFinder", "%1 random strings");
        break;
    }
    return n == 1 ? QCoreApplication::translate("SecretFinder", one)
                  : QCoreApplication::translate("SecretFinder", many).arg(n);
}

bool SecretFinder::luhn(const QString &digits)
{
    if (digits.size() < 2)
        return false;
    int sum = 0;
    bool twice = false;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (!digits[i].isDigit())
            return false;
        int d = digits[i].digitValue();
        if (twice && (d *= 2) > 9)
            d -= 9;
        sum += d;
        twice = !twice;
    }
    return sum % 10 == 0;
}

bool SecretFinder::ibanValid(const QString &compact)
{
    static const RX shape(QStringLiteral("^[A-Z]{2}[0-9]{2}[A-Z0-9]{11,30}$"));
    if (!shape.match(compact).hasMatch())
        return false;
    const int expected = ibanLength(compact.left(2));
    if (expected && compact.size() != expected)
        return false;
    // The country and check digits go to the end, letters become 10…35, and the number must
    // leave 1 when divided by 97 (computed piecewise: it has up to 70 digits).
    const QString moved = compact.mid(4) + compact.left(4);
    int rest = 0;
    for (QChar c : moved) {
        const int v = c.isDigit() ? c.digitValue() : c.unicode() - 'A' + 10;
        rest = v >= 10 ? (rest * 100 + v) % 97 : (rest * 10 + v) % 97;
    }
    return rest == 1;
}

double SecretFinder::entropy(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QHash<QChar, int> counts;
    for (QChar c : text)
        ++counts[c];
    double bits = 0;
    for (int n : counts) {
        const double p = double(n) / double(text.size());
        bits -= p * std::log2(p);
    }
    return bits;
}

bool SecretFinder::looksRandom(const QString &token)
{
    if (token.size() < minRandomLength)
        return false;
    static const RX alphabet(QStringLiteral("^[A-Za-z0-9+/_=-]+$"));
    if (!alphabet.match(token).hasMatch())
        return false;
    // Hexadecimal, also with a character or two misread by recognition (0 as O, f as i).
    const qsizetype nonHex = std::count_if(token.cbegin(), token.cend(), [](QChar c) {
        return c.isLetter() && !((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    });
    if (nonHex <= std::max<qsizetype>(2, token.size() / 8))
        return false;
    // Generated names (pods, containers): short lower-case parts joined by dashes.
    // (A capital is a small l or i misread; a trailing separator, the column's edge misread.)
    static const RX generated(QStringLiteral("^[a-z0-9]+(?:-[a-zA-Z0-9]{1,10})+[_.-]?$"));
    if (generated.match(token).hasMatch() &&
        std::count_if(token.cbegin(), token.cend(), [](QChar c) { return c.isUpper(); }) <= 1)
        return false;
    int digits = 0, upper = 0, lower = 0, changes = 0;
    for (qsizetype i = 0; i < token.size(); ++i) {
        const QChar c = token[i];
        digits += c.isDigit(), upper += c.isUpper(), lower += c.isLower();
        if (i > 0 && charClass(c) != charClass(token[i - 1]))
            ++changes;
    }
    // Identifiers and file names change between cases and digits rarely (CamelCase, a version
    // at the end); random characters of a mixed alphabet change at every other character.
    const int kinds = (digits > 0) + (upper > 0) + (lower > 0);
    if (kinds < 2 || digits < 1)
        return false;
    if (double(changes) < 0.35 * double(token.size()))
        return false;
    return entropy(token) >= minRandomEntropy;
}

QList<SecretFinding> SecretFinder::find(const QList<LayoutLine> &lines) const
{
    return Search(lines, lines, m_rules).run();
}

QList<SecretFinding> SecretFinder::find(const QList<LayoutLine> &lines, const QImage &picture) const
{
    const QList<LayoutLine> inked = fittedToInk(lines, picture);
    return Search(lines, inked, m_rules).run();
}

// Each side of a word's box moves out over the ink just beyond it, through gaps no wider than
// a third of a character, never into a neighbour's box nor further than a character and a
// half: a glyph's stroke the box left out, not the next word.
QList<LayoutLine> SecretFinder::fittedToInk(QList<LayoutLine> lines, const QImage &picture)
{
    if (picture.isNull())
        return lines;
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const QRect all = grey.rect();
    constexpr int ink = 40;
    for (LayoutLine &line : lines) {
        QList<LayoutWord> &words = line.words;
        for (qsizetype w = 0; w < words.size(); ++w) {
            const QRect box = words[w].box.intersected(all);
            if (box.width() < 2 || box.height() < 2 || words[w].text.isEmpty())
                continue;
            // The background: the commonest grey just above and below the box (its own rows
            // may be all ink).
            int counts[256] = {};
            for (const int y :
                 {std::max(0, box.top() - 2), std::min(all.bottom(), box.bottom() + 2)})
                for (int x = box.left(); x <= box.right(); ++x)
                    ++counts[grey.constScanLine(y)[x]];
            const int background =
                int(std::max_element(std::begin(counts), std::end(counts)) - counts);
            auto inked = [&](int x) {
                for (int y = box.top(); y <= box.bottom(); ++y)
                    if (std::abs(grey.constScanLine(y)[x] - background) > ink)
                        return true;
                return false;
            };
            const double advance = double(box.width()) / double(words[w].text.size());
            const int blank = std::max(1, int(advance / 3));
            const int most = int(std::ceil(1.5 * advance));
            int lo = std::max(0, box.left() - most), hi = std::min(all.right(), box.right() + most);
            if (w > 0)
                lo = std::max(lo, words[w - 1].box.right() + 1);
            if (w + 1 < words.size())
                hi = std::min(hi, words[w + 1].box.left() - 1);
            auto reach = [&](int from, int step, int limit) {
                int edge = from, gap = 0;
                for (int x = from + step; step > 0 ? x <= limit : x >= limit; x += step) {
                    if (inked(x))
                        edge = x, gap = 0;
                    else if (++gap > blank)
                        break;
                }
                return edge;
            };
            words[w].box.setLeft(std::min(words[w].box.left(), reach(box.left(), -1, lo)));
            words[w].box.setRight(std::max(words[w].box.right(), reach(box.right(), 1, hi)));
        }
    }
    return lines;
}

} // namespace vistrel
