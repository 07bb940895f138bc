#pragma once

#include <QString>

// Who we are and where the maker lives on the web: every address the shell
// builds starts from these, so moving the site means editing this file only.
namespace MakerInfo {

inline QString AppTitle()
{
    return QStringLiteral("Linkhauler");
}
// Major, minor and revision, joined by dots.
inline QString AppVersion()
{
    return QStringLiteral("1.0.0");
}
inline QString OrganizationName()
{
    return QStringLiteral("Linkhauler");
}

inline QString MakerSite()
{
    return QStringLiteral("http://www.example.com/linkhauler/");
}
inline QString FeedbackPage()
{
    return QStringLiteral("http://www.example.com/linkhauler/feedback1.asp");
}

// Base address for secure requests to the payment site, and the account that
// receives donations.
inline QString PayPalSecureBase()
{
    return QStringLiteral("https://www.paypal.com");
}
inline QString PayPalAccount()
{
    return QStringLiteral("donate@example.com");
}

} // namespace MakerInfo
