#pragma once

// Failures of the module are exceptions. EAbort is the silent stop: it unwinds to the
// event loop without a message; every other exception is an error to be shown.

#include <QString>

#include <stdexcept>

class EAbort : public std::exception {
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};

// The silent stop.
[[noreturn]] inline void Abort() { throw EAbort(); }

// An error with a text meant for the operator.
class EHomologa : public std::runtime_error {
public:
    explicit EHomologa(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};
