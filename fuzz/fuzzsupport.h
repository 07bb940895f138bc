#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Text from fuzz bytes, read as UTF-8 so that the usual characters reach the code as they
// are written (control characters included; broken sequences become U+FFFD).
QString TextOf(const std::string &bytes);

// Aborts with the property and the inputs that broke it, so libFuzzer keeps the input.
void Require(bool holds, const char *property, const QStringList &inputs = {});
