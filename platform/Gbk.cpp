#include "Gbk.h"

#include "Charset.h"

std::string ToGbk(const QString& text) { return printerlink::EncodeGbk(text.toStdU32String()); }

QString FromGbk(std::string_view bytes) { return QString::fromStdU32String(printerlink::DecodeGbk(bytes)); }
