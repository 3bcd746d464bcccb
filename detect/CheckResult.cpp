#include "CheckResult.h"

namespace orvelle {

QString MatchRecord(int group, const QString& path)
{
    return QStringLiteral("%1").arg(group, 8, 10, QChar(u'0')) + path;
}

} // namespace orvelle
