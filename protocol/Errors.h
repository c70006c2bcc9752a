#pragma once

#include <QString>
#include <stdexcept>

namespace velomar {

// Every failure a user action can run into is one of these; the action's guard shows
// text() in the error box. what() carries the same text in UTF-8 for logs and tests.
class Error : public std::runtime_error {
  public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

  private:
    QString text_;
};

// "'%s' is not a valid integer value" and the other conversion failures of the codecs.
class ConversionError : public Error {
  public:
    using Error::Error;
    static ConversionError notInteger(const QString& piece) {
        return ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(piece));
    }
};

class HexError : public Error {
  public:
    HexError() : Error(QStringLiteral("No Hex-Number")) {}
};

// A socket could not be opened, bound or sent through.
class SocketError : public Error {
  public:
    using Error::Error;
};

}  // namespace velomar
