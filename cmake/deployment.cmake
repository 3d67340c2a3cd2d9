# Deployment values are link-time: the layers see only the declarations of
# generated/deployment.h, and each executable links an object library that
# defines them. A variant of the updater with other values (a test build
# against a local server, one without release keys) links the same layer
# libraries and compiles one file of its own.

# The cache variables a variant may set otherwise.
set(QV_DEPLOYMENT_VARIABLES
  QV_FTP_HOST QV_FTP_PORT QV_FTP_USER QV_FTP_PASSWORD
  QV_UPDATE_WEB_ADDRESS QV_SELF_UPDATE_ADDRESS QV_HOME_PAGE
  QV_FTP_TLS QV_TLS_CA_FILE QV_RELEASE_KEYS QV_RELEASE_PRODUCT)

set(QV_DEPLOYMENT_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/deployment.cpp.in)

# qv_deployment_values(<library> [<variable> [<value>...]]...)
# Makes the object library <library> that defines the deployment values: the
# cache variables' values, except for each <variable> named (one of
# QV_DEPLOYMENT_VARIABLES), which takes the values after it (none: empty; a
# list for QV_RELEASE_KEYS).
function(qv_deployment_values library)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "${QV_DEPLOYMENT_VARIABLES}")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qv_deployment_values(${library}): not a deployment value: "
                        "${arg_UNPARSED_ARGUMENTS}")
  endif()
  foreach(name IN LISTS QV_DEPLOYMENT_VARIABLES)
    if(DEFINED arg_${name})
      set(${name} "${arg_${name}}")
    elseif(name IN_LIST arg_KEYWORDS_MISSING_VALUES)
      set(${name} "")
    endif()
  endforeach()

  # Texts go into C++ string literals as they are, Windows paths too.
  foreach(name IN ITEMS QV_FTP_HOST QV_FTP_USER QV_FTP_PASSWORD QV_UPDATE_WEB_ADDRESS
                        QV_SELF_UPDATE_ADDRESS QV_HOME_PAGE QV_TLS_CA_FILE)
    string(REPLACE "\\" "\\\\" escaped "${${name}}")
    string(REPLACE "\"" "\\\"" ${name} "${escaped}")
  endforeach()
  if(QV_FTP_TLS)
    set(QV_FTP_TLS_VALUE true)
  else()
    set(QV_FTP_TLS_VALUE false)
  endif()
  string(REPLACE ";" " " QV_RELEASE_KEYS_TEXT "${QV_RELEASE_KEYS}")

  set(QV_DEPLOYMENT_LIBRARY ${library})
  set(definitions ${CMAKE_BINARY_DIR}/generated/${library}/deployment.cpp)
  configure_file(${QV_DEPLOYMENT_TEMPLATE} ${definitions} @ONLY)
  add_library(${library} OBJECT ${definitions})
  target_include_directories(${library} PRIVATE ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(${library} PRIVATE ${QV_WARNINGS})
endfunction()

# qv_updater(<target> [<variable> [<value>...]]...)
# The updater program from the layer libraries, with the deployment values
# of qv_deployment_values (the cache's, each named variable set otherwise).
function(qv_updater target)
  qv_deployment_values(${target}_deployment ${ARGN})
  add_executable(${target} ${CMAKE_SOURCE_DIR}/app/main.cpp)
  target_link_libraries(${target} PRIVATE qv_app ${target}_deployment)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})
  if(WIN32)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources/quennvoldar.rc)
  endif()
endfunction()
