#pragma once

#include <QStringView>

#include <cstdint>

// What a host binds to: the library's identifiers and its members' dispatch IDs.
namespace folderpick {

inline constexpr QStringView kTypeLibName = u"Folderpick";
inline constexpr QStringView kTypeLibId = u"{F6FA2645-9AFD-11D6-AB7E-00AA000C9B61}";
inline constexpr int kTypeLibMajor = 6;
inline constexpr int kTypeLibMinor = 0;
inline constexpr std::uint32_t kTypeLibLocale = 0x0409;

inline constexpr QStringView kClassName = u"ctlFolderpick";
inline constexpr QStringView kClassId = u"{F6FA2649-9AFD-11D6-AB7E-00AA000C9B61}";
inline constexpr QStringView kProgId = u"Folderpick.ctlFolderpick";
inline constexpr QStringView kDefaultInterfaceId = u"{376FC07E-A857-11D6-AB7E-00AA000C9B61}";
inline constexpr QStringView kEventInterfaceId = u"{376FC07F-A857-11D6-AB7E-00AA000C9B61}";
// Recompose on resize, cannot link inside, inside-out, activate when visible,
// invisible at run time, set client site first.
inline constexpr std::uint32_t kMiscStatus = 0x20591;
inline constexpr int kToolboxBitmapId = 30000;
inline constexpr QStringView kVersion = u"1.00";

inline constexpr std::int32_t kDispShowBrowseFolder = 0x60030000;
inline constexpr std::int32_t kDispShowBrowseFile = 0x60030001;

// The library file a host looks for beside itself when the class is not registered.
inline constexpr QStringView kLibraryFile = u"libfolderpick.so*";

} // namespace folderpick
