// UTF-8 text between the engine's strings and the toolkit's.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace imprimo {

inline QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
inline std::string ToUtf8(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), size_t(b.size()));
}

}  // namespace imprimo
