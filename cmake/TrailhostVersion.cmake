# The release's version comes from project(VERSION) alone. The build writes it into a header for
# the programs (trailhost-pack --version) and into the version resource of the Windows programs;
# the packaging names the archives after it.

configure_file(${CMAKE_CURRENT_LIST_DIR}/trailhost_version.h.in
               ${TRAILHOST_GENERATED}/trailhost_version.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_info.rc.in
               ${TRAILHOST_GENERATED}/version_info.rc @ONLY)
