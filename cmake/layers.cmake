# The program is built from layers, each a library of one folder that may use
# only the layers below it:
#
#   app  release_tool             the window and the run's road; the vendor's
#                                 signing command
#   discovery  download  install  the three phases
#   run  network  accessibility   run state and context; FTP and HTTP clients
#                                 (the only code that sees curl.h) and the one
#                                 HTTP download path; screen readers
#   frontend  trust               the Win32 window and the terminal, with
#                                 win32/ and posix/ beneath; release manifests
#                                 and signatures (the only code that sees
#                                 sodium.h)
#   platform                      the OS port, with win32/ and posix/ beneath;
#                                 SHA-256 from the system's crypto library
#   base                          pure helpers: strings, text codecs, dates,
#                                 the window's layout arithmetic
#
# The German texts (resources/) are linked only from the front ends upward.
# Each layer's include path shows its own folder and those of the layers it
# is linked to, so an include from a layer above does not compile. Outside
# the win32/ and posix/ folders of platform/ and frontend/ no file includes a
# system header or asks which OS it is built for; a check before each build
# says where.

set(QV_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

# qv_layer(<folder> [BELOW <layer>...] [LIBRARY_HEADERS <header>...])
# Makes the library qv_<folder> from the folder of the calling CMakeLists;
# BELOW names the layers it is linked to, LIBRARY_HEADERS the headers of
# outside libraries its files may include ("curl/curl.h").
function(qv_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "BELOW;LIBRARY_HEADERS")
  set(target qv_${folder})
  add_library(${target} STATIC)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})

  # The include path shows the folder by its name and nothing beside it.
  set(view ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${view}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${view})
  foreach(layer IN LISTS arg_BELOW)
    target_link_libraries(${target} PUBLIC qv_${layer})
  endforeach()

  add_custom_target(${target}_includes
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${CMAKE_CURRENT_SOURCE_DIR} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            "-DLIBRARY_HEADERS=${arg_LIBRARY_HEADERS}" -P ${QV_LAYER_CHECK}
    COMMENT "Checking the includes of ${folder}/" VERBATIM)
  add_dependencies(${target} ${target}_includes)
  set_property(GLOBAL APPEND PROPERTY QV_LAYERS ${target})
endfunction()
