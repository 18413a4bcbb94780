#pragma once

#include <QString>

// Result of an operator action or a store call: success, or the error text the
// operator is shown.
class Outcome {
public:
    static Outcome success() { return Outcome(true, {}); }
    static Outcome failure(const QString& error) { return Outcome(false, error); }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString& error() const { return m_error; }

private:
    Outcome(bool ok, const QString& error) : m_ok(ok), m_error(error) {}

    bool m_ok = true;
    QString m_error;
};
