# Puts the Windows release folder together (run with cmake -P): the DLLs stripped, the header,
# the import libraries, the .def files the build wrote beside the DLLs (vxosd.def with its
# stdcall decorations on i686) and the README's Windows section. scripts/build-windows.sh ships
# it; the release-host tests link a host from it.
# Arguments (-D): DEST, STRIP, VXOSD_DLL, VXOSD_IMPLIB, VXOSD_DEF, CARD_DLL, CARD_IMPLIB,
# CARD_DEF, SOURCE (the source tree).
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})
foreach(dll IN ITEMS ${VXOSD_DLL} ${CARD_DLL})
  get_filename_component(name ${dll} NAME)
  execute_process(COMMAND ${STRIP} --strip-unneeded -o ${DEST}/${name} ${dll} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${STRIP} ${dll} failed")
  endif()
endforeach()
file(COPY ${VXOSD_IMPLIB} ${VXOSD_DEF} ${SOURCE}/include/vxosd/vxosd.h ${CARD_IMPLIB} ${CARD_DEF}
          ${SOURCE}/drivers/virtualcard/virtualcard.h DESTINATION ${DEST})
# The README's Windows section, from its heading to the next one.
file(READ ${SOURCE}/README.md readme)
string(FIND "${readme}" "\n## Windows hosts\n" start)
if(start LESS 0)
  message(FATAL_ERROR "README.md has no section \"Windows hosts\"")
endif()
math(EXPR start "${start} + 18")
string(SUBSTRING "${readme}" ${start} -1 section)
string(FIND "${section}" "\n## " end)
if(end GREATER_EQUAL 0)
  string(SUBSTRING "${section}" 0 ${end} section)
endif()
file(WRITE ${DEST}/README-windows.md "# VXOSD for Windows hosts\n${section}\n")
