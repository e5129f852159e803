# Where the kit installs (the GNUInstallDirs folders) and the two helpers the
# components call for their installed programs and libraries.
include(GNUInstallDirs)

# Installed programs find the installed libraries relative to their own
# folder, so that an installed tree works under any prefix.
file(RELATIVE_PATH kit_bin_to_lib /kit/${CMAKE_INSTALL_BINDIR} /kit/${CMAKE_INSTALL_LIBDIR})
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(KIT_PROGRAM_RUNPATH "${CMAKE_INSTALL_LIBDIR}")
else()
  set(KIT_PROGRAM_RUNPATH "$ORIGIN/${kit_bin_to_lib}")
endif()

# kit_install_programs(TARGET...): programs for people, into the bin folder.
function(kit_install_programs)
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT WIN32)
    set_target_properties(${ARGN} PROPERTIES INSTALL_RPATH "${KIT_PROGRAM_RUNPATH}")
  endif()
endfunction()

# kit_install_library(TARGET [HEADER...]): a shared library and its public headers.
# On Linux it is versioned (libNAME.so.MAJOR) and exported to the CounterKit
# package; a Windows DLL keeps the plain name its hosts load it by, and its
# import library is not installed (hosts bind its exports by name).
function(kit_install_library target)
  if(WIN32)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    install(TARGETS ${target} EXPORT CounterKitTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
  if(ARGN)
    install(FILES ${ARGN} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
endfunction()
