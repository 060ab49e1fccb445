// What ends a kxhost run early: its exit status, the file and the field it
// concerns and what is wrong. Every part of kxhost throws it and main() alone
// catches it, so the exit status is the error's own, never a catch order's.
#ifndef KXHOSTERROR_H
#define KXHOSTERROR_H

#include <QtCore/QString>

#include <exception>
#include <string>

namespace kx::host {

enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitBadInput = 2 };

class Error : public std::exception
{
public:
    Error(ExitStatus status, const QString &file, const QString &field, const QString &problem)
        : m_status(status), m_file(file), m_field(field), m_problem(problem), m_what(message().toStdString())
    {
    }
    // Bad input: a file, a field or an argument that breaks a rule (status 2).
    static Error badInput(const QString &file, const QString &field, const QString &problem)
    {
        return Error(ExitBadInput, file, field, problem);
    }
    // A file, the module or the system that could not be used (status 1).
    static Error failure(const QString &file, const QString &problem) { return Error(ExitFailure, file, {}, problem); }

    ExitStatus status() const noexcept { return m_status; }
    QString file() const { return m_file; }
    QString field() const { return m_field; }
    QString problem() const { return m_problem; }
    // "file: field: problem", the parts that are empty left out.
    QString message() const
    {
        QString text;
        for (const QString *part : {&m_file, &m_field}) {
            if (!part->isEmpty())
                text += *part + QStringLiteral(": ");
        }
        return text + m_problem;
    }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    ExitStatus m_status;
    QString m_file;
    QString m_field;
    QString m_problem;
    std::string m_what;
};

} // namespace kx::host

#endif // KXHOSTERROR_H
