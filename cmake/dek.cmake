# Writes a package: cmake -DOUT=<dek> -DFOLDER=<dir> -DOBJECTS=<objects.txt> -P dek.cmake
# run in the folder that holds <dir> (the archive's one top-level folder).
# OUT.sha256 holds the archive's SHA-256 (the digest alone) and OUT.txt the objects list: every
# line of OBJECTS that names a class (class, a tab, its description).
file(REMOVE "${OUT}" "${OUT}.sha256" "${OUT}.txt")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${OUT}" --format=zip "${FOLDER}" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
file(SHA256 "${OUT}" sum)
# The host's installer compares the whole file, trimmed, with the digest.
file(WRITE "${OUT}.sha256" "${sum}\n")
file(READ "${OBJECTS}" text)
string(REGEX REPLACE "#[^\n]*\n" "" text "${text}")
file(WRITE "${OUT}.txt" "${text}")
