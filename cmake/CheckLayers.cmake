# Fails when a file of device/ or fs/ includes Qt, a platform service, a front end or a layer
# above them: those layers read the medium and hand what they find up as data; they show
# nothing and ask nobody. Run at every build as: cmake -DROOT=<source dir> -P CheckLayers.cmake
set(above "platform|browser|app|cli|save|hash|formats")
set(failed "")
foreach(folder device fs)
  file(GLOB_RECURSE files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*([<\"](${above})/|<Q)")
    foreach(line ${lines})
      string(APPEND failed "\n  ${file}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "device/ and fs/ may not include these:${failed}")
endif()
