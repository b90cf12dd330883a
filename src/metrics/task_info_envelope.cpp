#include "metrics/task_info_envelope.h"

#include <QJsonDocument>
#include <QStringDecoder>

namespace vxr {

std::optional<QJsonObject> parseTaskInfoEnvelope(const QByteArray& body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8(body); // decoded only to reject invalid UTF-8
    if (utf8.hasError())
        return std::nullopt;
    const qsizetype equals = body.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    QByteArray json = body.mid(equals + 1);
    if (json.endsWith(';'))
        json.chop(1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace vxr
