#include "publish/MqttCredentials.h"

#include "base/RegularFile.h"

#include <QList>

namespace {

// Far more than a user name and a password take.
constexpr qint64 kMaxFileSize = 4096;

} // namespace

Status readMqttCredentials(const QString& path, MqttCredentials& credentials)
{
    QByteArray bytes;
    if (const Status s = RegularFile::read(path, kMaxFileSize, bytes); !s.ok()) {
        if (s.code() == Status::Code::Damaged)
            return Status::failure(Status::Code::BadSetting,
                                   QStringLiteral("is too long for a credentials file (a user name, then a "
                                                  "password)"));
        return s;
    }
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line end
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty() || lines.first().isEmpty())
        return Status::failure(Status::Code::BadSetting, QStringLiteral("has no user name on its first line"));
    if (lines.size() > 2)
        return Status::failure(Status::Code::BadSetting,
                               QStringLiteral("has more than two lines (a user name, then a password)"));
    credentials.user = lines.first();
    credentials.password = lines.size() == 2 ? lines.last() : QByteArray();
    return Status::success();
}
