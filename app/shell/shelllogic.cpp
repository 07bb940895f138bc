#include "shelllogic.h"

using namespace Qt::StringLiterals;

namespace ShellLogic {

bool ValidAmount(const QString &amount)
{
    bool seenPoint = false;
    for (const QChar c : amount) {
        if (c >= u'0' && c <= u'9')
            continue;
        if (c == u'.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        return false;
    }
    return true;
}

QString FeedbackAddress(const QString &page, const QString &title, const QString &version)
{
    return page + u"?txtAppTitle="_s + title + u"&txtVersion="_s + version;
}

QString PaymentAddress(const QString &secureBase, const QString &account, const QString &title,
                       const QString &version, const QString &amount)
{
    return secureBase + u"/xclick/business="_s + account + u"&item_name="_s + title + u"("_s
        + version + u")-donation"_s + u"&amount=$"_s + amount;
}

bool IsCloseAddress(const QString &address)
{
    return address.endsWith(u"Close"_s, Qt::CaseSensitive);
}

} // namespace ShellLogic
