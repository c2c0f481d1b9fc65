# Writes the site's service worker (sw.js) from TEMPLATE (sw.js.in):
#
#   cmake -DSITE_DIR=<site> -DTEMPLATE=<sw.js.in> "-DFILES=a;b;..." -P service_worker.cmake
#
# @DEMO_BUILD@ becomes a hash of the names and contents of FILES (every file
# the worker keeps), @DEMO_FILES@ their list. The same files give the same
# worker, byte for byte, so the browser sees a new worker exactly when the
# site has changed.
set(all "")
foreach(f ${FILES})
    if(NOT EXISTS ${SITE_DIR}/${f})
        message(FATAL_ERROR "service worker: ${SITE_DIR}/${f} is missing")
    endif()
    file(SHA256 ${SITE_DIR}/${f} h)
    string(APPEND all "${f} ${h}\n")
endforeach()
string(SHA256 build "${all}")
string(SUBSTRING ${build} 0 16 DEMO_BUILD)
list(JOIN FILES "',\n    '" DEMO_FILES)
configure_file(${TEMPLATE} ${SITE_DIR}/sw.js @ONLY)
