// Bad input given to kxhost: one message that names the file, the field and
// the limit. Every command turns it into exit status 2 before writing anything.
#ifndef KXINPUTERROR_H
#define KXINPUTERROR_H

#include <QtCore/QString>

#include <stdexcept>

namespace kx::host {

class InputError : public std::runtime_error
{
public:
    explicit InputError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A file that is there but cannot be read: not bad input but a file that could
// not be used, so exit status 1.
class FileError : public InputError
{
public:
    using InputError::InputError;
};

} // namespace kx::host

#endif // KXINPUTERROR_H
