# Run while installing (the paths are known only then): fills in the file
# managers' menu entries with the installed imprimo-watermark and installs
# them. Set by the caller: IMPRIMO_APP_ID, IMPRIMO_PROGRAM_DIR,
# imprimo_source, imprimo_stage.

set(watermark "${CMAKE_INSTALL_PREFIX}/${IMPRIMO_PROGRAM_DIR}/imprimo-watermark")

# A desktop file's Exec names the program in double quotes, with \ " ` and $
# escaped by a backslash; the file's own string escaping then doubles every
# backslash.
set(exec "${watermark}")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "${exec}")
set(IMPRIMO_WATERMARK_EXEC "\"${exec}\"")
configure_file("${imprimo_source}/data/desktop/dolphin-servicemenu.desktop.in"
               "${imprimo_stage}/${IMPRIMO_APP_ID}.servicemenu.desktop" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/kio/servicemenus" TYPE PROGRAM
     FILES "${imprimo_stage}/${IMPRIMO_APP_ID}.servicemenu.desktop")

# The Python extension, once per file manager; the path is a Python string.
set(IMPRIMO_WATERMARK_PATH "${watermark}")
string(REPLACE "\\" "\\\\" IMPRIMO_WATERMARK_PATH "${IMPRIMO_WATERMARK_PATH}")
string(REPLACE "\"" "\\\"" IMPRIMO_WATERMARK_PATH "${IMPRIMO_WATERMARK_PATH}")
foreach(IMPRIMO_FILE_MANAGER Nautilus Caja Nemo)
  string(TOLOWER "${IMPRIMO_FILE_MANAGER}" manager)
  configure_file("${imprimo_source}/data/desktop/imprimo_file_manager.py.in"
                 "${imprimo_stage}/${manager}/imprimo_file_manager.py" @ONLY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/${manager}-python/extensions"
       TYPE FILE FILES "${imprimo_stage}/${manager}/imprimo_file_manager.py")
endforeach()
