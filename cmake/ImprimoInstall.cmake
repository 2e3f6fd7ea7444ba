# Installing like a desktop program.
#
#   <prefix>/lib/imprimo/          the program folder: the executables, the
#                                  shipped templates (Watermarks/), the manual
#                                  (help/) and the pictures the windows show
#   <prefix>/bin/imprimo           relative links into the program folder
#   <prefix>/bin/imprimo-batch
#   <prefix>/bin/imprimo-lcf       the translators' tool
#   <prefix>/bin/MarkDesigner      (the template editor)
#   <prefix>/share/applications/   the desktop entries (imprimo, MarkDesigner)
#   <prefix>/share/icons/hicolor/  the icons (SVG, 48 and 256 px), drawn by our
#                                  own code at build time
#   <prefix>/share/metainfo/       the software-centre description
#
# The program folder holds installed.txt: a folder with that file is used
# read-only, and Setup.ini, Log.dat and the user's templates go to
# $XDG_CONFIG_HOME/imprimo/. `cpack -G DEB` in the build folder makes a
# Debian package of the same layout under /usr.

set(IMPRIMO_APP_ID org.imprimo.Imprimo)
set(IMPRIMO_DESIGNER_ID org.imprimo.MarkDesigner)
set(IMPRIMO_RELEASE_DATE 2026-12-10)
set(IMPRIMO_HOMEPAGE https://github.com/imprimo-app/imprimo)
# The software-centre description names the licence and where the
# screenshots the build draws (help/images/) are published for this release.
set(IMPRIMO_PROJECT_LICENSE LicenseRef-proprietary CACHE STRING
    "SPDX licence expression of the project, for the metainfo")
set(IMPRIMO_SCREENSHOT_URL
    "https://raw.githubusercontent.com/imprimo-app/imprimo/v${PROJECT_VERSION}/screenshots"
    CACHE STRING "Address the release's screenshots are published under")
set(IMPRIMO_PROGRAM_DIR lib/imprimo)
set(imprimo_stage ${CMAKE_BINARY_DIR}/install-stage)

# Executables.
foreach(exe imprimo imprimo-batch imprimo-lcf MarkDesigner PhotoTouch)
  if(TARGET ${exe})
    install(TARGETS ${exe} RUNTIME DESTINATION ${IMPRIMO_PROGRAM_DIR})
  endif()
endforeach()

# Shipped templates and their logos; the manual and the optional pictures
# when the source tree has them or the build made them.
if(EXISTS ${CMAKE_SOURCE_DIR}/data/Watermarks)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Watermarks DESTINATION ${IMPRIMO_PROGRAM_DIR})
endif()
# The option list of the command-line page is filled in by the build (the
# build tree's help/ below).
foreach(help_dir ${CMAKE_SOURCE_DIR}/data/help ${CMAKE_SOURCE_DIR}/help)
  if(IS_DIRECTORY ${help_dir})
    install(DIRECTORY ${help_dir} DESTINATION ${IMPRIMO_PROGRAM_DIR}
            PATTERN command-line.html EXCLUDE)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/help DESTINATION ${IMPRIMO_PROGRAM_DIR} OPTIONAL)
# The template editor previews on the shipped sample photos.
if(TARGET MarkDesigner AND EXISTS ${CMAKE_SOURCE_DIR}/data/samples)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/samples DESTINATION ${IMPRIMO_PROGRAM_DIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/Logo.bmp ${CMAKE_SOURCE_DIR}/data/leftlogo.bmp
        ${CMAKE_BINARY_DIR}/Logo.bmp ${CMAKE_BINARY_DIR}/leftlogo.bmp
        DESTINATION ${IMPRIMO_PROGRAM_DIR} OPTIONAL)
# The language file built from translations/.
install(FILES ${CMAKE_BINARY_DIR}/imprimo.lcf DESTINATION ${IMPRIMO_PROGRAM_DIR} OPTIONAL)

file(WRITE ${imprimo_stage}/installed.txt
     "This folder was laid out by an install of Imprimo and is used read-only.\n"
     "Setup.ini, Log.dat and your own templates are kept in $XDG_CONFIG_HOME/imprimo/\n"
     "(~/.config/imprimo/ when XDG_CONFIG_HOME is not set).\n")
install(FILES ${imprimo_stage}/installed.txt DESTINATION ${IMPRIMO_PROGRAM_DIR})

# Relative links, so the installed tree can be moved or packaged as it is.
file(MAKE_DIRECTORY ${imprimo_stage}/bin)
foreach(exe imprimo imprimo-batch imprimo-lcf MarkDesigner)
  if(TARGET ${exe})
    file(CREATE_LINK ../${IMPRIMO_PROGRAM_DIR}/${exe} ${imprimo_stage}/bin/${exe} SYMBOLIC)
    install(FILES ${imprimo_stage}/bin/${exe} DESTINATION bin)
  endif()
endforeach()

# The man pages, the shell completions and the manual's option list, written
# from the programs' option descriptions at build time.
if(TARGET imprimo-batch)
  add_executable(make_docs ${CMAKE_SOURCE_DIR}/tools/make_docs.cpp
                           ${CMAKE_SOURCE_DIR}/src/cli/batch_options.cpp
                           ${CMAKE_SOURCE_DIR}/src/cli/option_docs.cpp)
  target_link_libraries(make_docs PRIVATE imprimo_core)
  set_target_properties(make_docs PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(docs_dir ${CMAKE_BINARY_DIR}/docs)
  set(docs_files ${CMAKE_BINARY_DIR}/help/command-line.html)
  foreach(program imprimo imprimo-batch MarkDesigner)
    list(APPEND docs_files ${docs_dir}/man/${program}.1 ${docs_dir}/bash/${program}
         ${docs_dir}/zsh/_${program} ${docs_dir}/fish/${program}.fish)
  endforeach()
  add_custom_command(
    OUTPUT ${docs_files}
    COMMAND $<TARGET_FILE:make_docs> ${docs_dir} ${IMPRIMO_RELEASE_DATE}
            ${CMAKE_SOURCE_DIR}/data/help/command-line.html
            ${CMAKE_BINARY_DIR}/help/command-line.html
    DEPENDS make_docs ${CMAKE_SOURCE_DIR}/data/help/command-line.html
    COMMENT "Writing the man pages, shell completions and the option list")
  add_custom_target(imprimo_docs ALL DEPENDS ${docs_files})
  set(docs_programs imprimo-batch)
  if(TARGET imprimo)
    list(APPEND docs_programs imprimo)
  endif()
  if(TARGET MarkDesigner)
    list(APPEND docs_programs MarkDesigner)
  endif()
  foreach(program ${docs_programs})
    install(FILES ${docs_dir}/man/${program}.1 DESTINATION share/man/man1)
    install(FILES ${docs_dir}/bash/${program} DESTINATION share/bash-completion/completions)
    # zsh looks in site-functions under its own prefix; Debian's /usr zsh
    # reads packages' functions from vendor-completions.
    install(CODE "
      set(zsh_dir share/zsh/site-functions)
      if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(zsh_dir share/zsh/vendor-completions)
      endif()
      file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${zsh_dir}\" TYPE FILE
           FILES \"${docs_dir}/zsh/_${program}\")
    ")
    install(FILES ${docs_dir}/fish/${program}.fish DESTINATION share/fish/vendor_completions.d)
  endforeach()
endif()

# The file managers' "Watermark with Imprimo": the command they run (beside
# imprimo-batch), Dolphin's service menu and the Python extension of the
# GNOME-family managers; the file types of the templates.
if(TARGET imprimo-batch)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/data/desktop/imprimo-watermark
          DESTINATION ${IMPRIMO_PROGRAM_DIR})
  install(CODE "
    set(IMPRIMO_APP_ID ${IMPRIMO_APP_ID})
    set(IMPRIMO_PROGRAM_DIR ${IMPRIMO_PROGRAM_DIR})
    set(imprimo_source \"${CMAKE_SOURCE_DIR}\")
    set(imprimo_stage \"${imprimo_stage}\")
    include(\"${CMAKE_SOURCE_DIR}/cmake/ImprimoInstallActions.cmake\")
  ")
  install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/imprimo-mime.xml DESTINATION share/mime/packages
          RENAME ${IMPRIMO_APP_ID}.xml)
  # A package's trigger updates the database; a direct install does it here.
  install(CODE "
    find_program(update_mime update-mime-database)
    if(update_mime AND \"\$ENV{DESTDIR}\" STREQUAL \"\")
      execute_process(COMMAND \${update_mime} \"\${CMAKE_INSTALL_PREFIX}/share/mime\"
                      OUTPUT_QUIET ERROR_QUIET)
    endif()
  ")
endif()

if(TARGET imprimo)
  # The desktop entry names the installed link by its full path, which is
  # known only when installing (cmake --install --prefix, or the package's
  # /usr).
  install(CODE "
    set(IMPRIMO_APP_ID ${IMPRIMO_APP_ID})
    set(IMPRIMO_DESKTOP_EXEC \"\${CMAKE_INSTALL_PREFIX}/bin/imprimo\")
    configure_file(\"${CMAKE_SOURCE_DIR}/data/desktop/imprimo.desktop.in\"
                   \"${imprimo_stage}/${IMPRIMO_APP_ID}.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\" TYPE FILE
         FILES \"${imprimo_stage}/${IMPRIMO_APP_ID}.desktop\")
  ")

  configure_file(${CMAKE_SOURCE_DIR}/data/desktop/imprimo.metainfo.xml.in
                 ${imprimo_stage}/${IMPRIMO_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${imprimo_stage}/${IMPRIMO_APP_ID}.metainfo.xml DESTINATION share/metainfo)

  # The icon theme files, rendered from the window icon's drawing.
  find_package(Qt6 REQUIRED COMPONENTS Svg)
  add_executable(make_icon ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp)
  target_link_libraries(make_icon PRIVATE imprimo_gui Qt6::Gui Qt6::Svg)
  set_target_properties(make_icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(icon_theme ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(icon_files ${icon_theme}/scalable/apps/${IMPRIMO_APP_ID}.svg
                 ${icon_theme}/48x48/apps/${IMPRIMO_APP_ID}.png
                 ${icon_theme}/256x256/apps/${IMPRIMO_APP_ID}.png)
  add_custom_command(
    OUTPUT ${icon_files}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:make_icon>
            ${icon_theme} ${IMPRIMO_APP_ID}
    DEPENDS make_icon
    COMMENT "Drawing the icon theme files")
  add_custom_target(imprimo_icons ALL DEPENDS ${icon_files})
  install(DIRECTORY ${icon_theme} DESTINATION share/icons)

  # The manual in the build tree (so F1 works in a portable build folder),
  # with screenshots drawn from the real windows at build time; installed
  # with the build tree's help/ above.
  add_executable(make_screens ${CMAKE_SOURCE_DIR}/tools/make_screens.cpp)
  target_link_libraries(make_screens PRIVATE imprimo_gui)
  set_target_properties(make_screens PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  file(GLOB manual_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/help/*.html
       ${CMAKE_SOURCE_DIR}/data/help/*.css)
  set(manual_copies)
  foreach(page ${manual_pages})
    get_filename_component(page_name ${page} NAME)
    if(page_name STREQUAL "command-line.html")
      continue()  # written by make_docs
    endif()
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/help/${page_name}
                       COMMAND ${CMAKE_COMMAND} -E copy ${page} ${CMAKE_BINARY_DIR}/help/${page_name}
                       DEPENDS ${page})
    list(APPEND manual_copies ${CMAKE_BINARY_DIR}/help/${page_name})
  endforeach()
  set(screen_dir ${CMAKE_BINARY_DIR}/help/images)
  set(screen_files)
  foreach(screen main-window options-output options-resize options-rename options-border
                 options-other about effect-position effect-tiles effect-fit effect-angle
                 effect-shadow effect-outline effect-blur effect-alpha effect-mirror
                 effect-noise-spray effect-picture)
    list(APPEND screen_files ${screen_dir}/${screen}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${screen_files}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C $<TARGET_FILE:make_screens>
            ${screen_dir} ${CMAKE_SOURCE_DIR}/data
    DEPENDS make_screens
    COMMENT "Drawing the manual's screenshots")
  add_custom_target(imprimo_manual ALL DEPENDS ${manual_copies} ${screen_files})
endif()

if(TARGET MarkDesigner)
  # The template editor's desktop entry and icons, like imprimo's.
  install(CODE "
    set(IMPRIMO_DESIGNER_ID ${IMPRIMO_DESIGNER_ID})
    set(IMPRIMO_DESIGNER_EXEC \"\${CMAKE_INSTALL_PREFIX}/bin/MarkDesigner\")
    configure_file(\"${CMAKE_SOURCE_DIR}/data/desktop/markdesigner.desktop.in\"
                   \"${imprimo_stage}/${IMPRIMO_DESIGNER_ID}.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\" TYPE FILE
         FILES \"${imprimo_stage}/${IMPRIMO_DESIGNER_ID}.desktop\")
  ")
  if(TARGET make_icon)
    target_link_libraries(make_icon PRIVATE designer_window)
    target_compile_definitions(make_icon PRIVATE IMPRIMO_MAKE_DESIGNER_ICON)
    set(designer_icon_theme ${CMAKE_BINARY_DIR}/designer-icons/hicolor)
    set(designer_icon_files ${designer_icon_theme}/scalable/apps/${IMPRIMO_DESIGNER_ID}.svg
                            ${designer_icon_theme}/48x48/apps/${IMPRIMO_DESIGNER_ID}.png
                            ${designer_icon_theme}/256x256/apps/${IMPRIMO_DESIGNER_ID}.png)
    add_custom_command(
      OUTPUT ${designer_icon_files}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:make_icon>
              ${designer_icon_theme} ${IMPRIMO_DESIGNER_ID} --designer
      DEPENDS make_icon
      COMMENT "Drawing the template editor's icon theme files")
    add_custom_target(designer_icons ALL DEPENDS ${designer_icon_files})
    install(DIRECTORY ${designer_icon_theme} DESTINATION share/icons)
  endif()
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME imprimo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Imprimo developers")
set(CPACK_PACKAGE_CONTACT "The Imprimo developers <imprimo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch watermarking of photos")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Imprimo puts a watermark template (text and logo layers) on many pictures\n"
    "in one run, optionally resizing, bordering, renaming and converting them,\n"
    "with camera metadata and colour profiles carried into the outputs. The\n"
    "desktop program and the terminal command imprimo-batch share one batch run.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
# Library dependencies come from dpkg-shlibdeps; Qt's platform plugins are
# loaded at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET imprimo)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-liberation, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
