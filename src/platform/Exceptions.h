#pragma once

#include <QString>
#include <exception>

// Errors of the platform library and the model. Every command lets them travel to the
// application's error box, which shows what() as the message.
class Exception : public std::exception {
public:
    explicit Exception(const QString& message);
    const char* what() const noexcept override { return Utf8.constData(); }
    QString Message() const { return QString::fromUtf8(Utf8); }

private:
    QByteArray Utf8;
};

// a file that cannot be opened for reading
struct EFOpenError : Exception {
    using Exception::Exception;
};
// a file that cannot be created or replaced
struct EFCreateError : Exception {
    using Exception::Exception;
};
// an index outside a list
struct EListError : Exception {
    using Exception::Exception;
};
// text that is not an integer
struct EConvertError : Exception {
    using Exception::Exception;
};
// bytes that are not a usable bitmap
struct EInvalidGraphic : Exception {
    using Exception::Exception;
};
// a read past the end of a stream
struct EReadError : Exception {
    using Exception::Exception;
};
// a map or tile pack file that is malformed
struct EFormatError : Exception {
    using Exception::Exception;
};
// not enough memory for what a file asks of the editor
struct EOutOfMemory : Exception {
    using Exception::Exception;
};
// a map size the editor cannot hold
struct ESizeError : Exception {
    using Exception::Exception;
};

// The messages of the platform library, worded as users of the old editor know them.
namespace Msg {
// The longest part of a value from a file (a name, a path built from one) that a message
// shows; longer ones are cut in the middle. A box that has to lay out megabytes of text
// freezes the editor.
constexpr qsizetype MaxShown = 300;
QString Clip(const QString& value);
// A path in full with native separators, clipped.
QString ShownPath(const QString& path);
// The path is shown in full with native separators, the reason is the system's.
QString CannotOpenFile(const QString& path, const QString& reason);
QString CannotCreateFile(const QString& path, const QString& reason);
QString ListIndexOutOfBounds(qint64 index);
QString NotAValidInteger(const QString& text);
// A file that is not what it should be: kind says what, detail what is wrong with it.
QString NotAValidFile(const QString& path, const QString& kind, const QString& detail);
QString NotEnoughMemory(const QString& path);
inline const char* const BitmapNotValid = "Bitmap image is not valid";
inline const char* const StreamReadError = "Stream read error";
} // namespace Msg
