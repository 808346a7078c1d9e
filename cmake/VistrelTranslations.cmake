# The app's texts in other languages: translations/vistrel_<language>.ts, built into the
# executable under :/i18n, where main() looks for the user's language. English is the source
# language: translations/vistrel_en.ts holds only the English forms of texts with a count
# ("1 frame", "2 frames"), loaded under every language. `ninja vistrel_lupdate` brings the .ts
# files up to date with the sources (without file locations: moving a source file changes
# nothing there).
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

set(VISTREL_TS_FILES ${PROJECT_SOURCE_DIR}/translations/vistrel_de.ts)

# The sources whose texts are translated: the shipped program's, without the recognizer helper,
# which only writes to stderr.
file(GLOB_RECURSE VISTREL_TRANSLATED_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
list(FILTER VISTREL_TRANSLATED_SOURCES EXCLUDE REGEX "/RecognizerMain\\.[^/]*$")

function(vistrel_add_translations target)
  qt_add_translations(${target}
    TS_FILES ${VISTREL_TS_FILES}
    SOURCES ${VISTREL_TRANSLATED_SOURCES}
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/src
    LUPDATE_OPTIONS -locations none -no-obsolete
    LRELEASE_OPTIONS -silent
    RESOURCE_PREFIX /i18n)
  set(en_ts ${PROJECT_SOURCE_DIR}/translations/vistrel_en.ts)
  set(en_qm ${CMAKE_CURRENT_BINARY_DIR}/vistrel_en.qm)
  add_custom_command(OUTPUT ${en_qm}
    COMMAND Qt6::lrelease -silent ${en_ts} -qm ${en_qm}
    DEPENDS ${en_ts} Qt6::lrelease VERBATIM)
  set_source_files_properties(${en_qm} PROPERTIES QT_RESOURCE_ALIAS vistrel_en.qm)
  qt_add_resources(${target} vistrel_english_plurals PREFIX /i18n FILES ${en_qm})
  add_custom_target(${target}_lupdate_plurals
    COMMAND Qt6::lupdate -pluralonly -source-language en -target-language en -locations none
      -no-obsolete -I ${PROJECT_SOURCE_DIR}/src ${VISTREL_TRANSLATED_SOURCES} -ts ${en_ts}
    VERBATIM)
  add_dependencies(${target}_lupdate ${target}_lupdate_plurals)
endfunction()
