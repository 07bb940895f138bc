# The Debian package of the whole install: `cmake --build build --target package` writes
# linkhauler_<version>_<arch>.deb into the build folder; cpack reads the install rules only
# when it runs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME linkhauler)
set(CPACK_PACKAGE_VENDOR "The Linkhauler developers")
set(CPACK_PACKAGE_CONTACT "Linkhauler developers <linkhauler@example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "harvest links from a series of web pages")
# Lines of at most 79 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
  "Linkhauler visits a series of web pages, whose address may hold a counting
number and letter, takes the links of each page from an embedded browser
engine, keeps those that match the criteria for their beginning, middle and
end, and downloads what they point to and/or writes their addresses into
text files.

The package holds the desktop program, linkhauler-run (the same jobs without
a window, for scripts, cron and containers) and the Folderpick picker
library.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.example.com/linkhauler/")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The libraries the programs link are found by dpkg-shlibdeps. It cannot see what they load
# at run time; tests/packaging checks each of LH_LOADED_DEPENDS against the files a run maps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(LH_LOADED_DEPENDS
  # QtWebEngineProcess, the browser engine's helper that loads and renders every page.
  libqt6webenginecore6-bin
  # The engine's resources and ICU data, mapped when it starts.
  libqt6webengine6-data
  # The SQLite driver plugin behind linkhauler-run --archive.
  libqt6sql6-sqlite
  # A font for the offscreen engine to lay out pages with (fontconfig's first choice).
  fonts-dejavu-core
  # Arial's and Times' metrics, which the windows' fixed label sizes and most pages expect.
  fonts-liberation)
# Read, never mapped: the trust store libcurl checks https servers against. libcurl only
# recommends it, and without it every https download fails.
set(LH_READ_DEPENDS ca-certificates)
list(JOIN LH_LOADED_DEPENDS ", " lh_loaded)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${lh_loaded}, ${LH_READ_DEPENDS}")
# Opens the maker's site and the payment page in the user's browser; without it those
# clicks do nothing, as when the desktop cannot open an address. Every desktop has it; as a
# recommendation it would bring X tools and a C preprocessor to a server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xdg-utils)

include(CPack)
