# The app's texts in other languages: translations/vistrel_<language>.ts, built into the
# executable under :/i18n, where main() looks for the user's language. English is the source
# language and needs no file. `ninja vistrel_lupdate` brings the .ts files up to date with the
# sources (without file locations: moving a source file changes nothing there).
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

set(VISTREL_TS_FILES ${PROJECT_SOURCE_DIR}/translations/vistrel_de.ts)

# The sources whose texts are translated: the shipped program's, without the test-only fake
# desktop and the recognizer helper, which only writes to stderr.
file(GLOB_RECURSE VISTREL_TRANSLATED_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
list(FILTER VISTREL_TRANSLATED_SOURCES EXCLUDE REGEX "/(FakeDesktop|RecognizerMain)\\.[^/]*$")

function(vistrel_add_translations target)
  qt_add_translations(${target}
    TS_FILES ${VISTREL_TS_FILES}
    SOURCES ${VISTREL_TRANSLATED_SOURCES}
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/src
    LUPDATE_OPTIONS -locations none -no-obsolete
    LRELEASE_OPTIONS -silent
    RESOURCE_PREFIX /i18n)
endfunction()
