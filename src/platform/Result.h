#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace vistrel {

// Why a capture step failed. Platform failures travel as `Failed` with the platform's own text.
class CaptureError
{
public:
    enum class Kind { Failed, NoDisplay, OutOfMemory, Cancelled };

    static CaptureError failed(QString text) { return CaptureError(Kind::Failed, std::move(text)); }
    static CaptureError noDisplay() { return CaptureError(Kind::NoDisplay, {}); }
    static CaptureError outOfMemory() { return CaptureError(Kind::OutOfMemory, {}); }
    // The user declined (a desktop's permission prompt): nothing to report.
    static CaptureError cancelled() { return CaptureError(Kind::Cancelled, {}); }

    Kind kind() const { return m_kind; }
    QString errorDescription() const;

private:
    CaptureError(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}
    Kind m_kind;
    QString m_text;
};

// A value or the error that kept it from being made.
template <class T> class Result
{
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(CaptureError error) : m_v(std::move(error)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return std::get<0>(m_v); }
    T &value() & { return std::get<0>(m_v); }
    T &&value() && { return std::get<0>(std::move(m_v)); }
    const T &operator*() const & { return value(); }
    const T *operator->() const { return &value(); }
    const CaptureError &error() const { return std::get<1>(m_v); }

private:
    std::variant<T, CaptureError> m_v;
};

} // namespace vistrel
