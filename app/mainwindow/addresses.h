#pragma once

#include <QString>

// Fixed web addresses of the main window.
namespace addresses {

// The product's home page: the page browser starts here.
inline const QString kHomePage = QStringLiteral("http://www.example.com/linkhauler/");

// The sample target shown in the address field at every start.
inline const QString kSampleAddress = QStringLiteral(
    "http://www.example.com/vb/scripts/ShowCode.asp?txtCodeId=^N&lngWId=1");

} // namespace addresses
