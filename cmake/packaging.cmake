# What an integrator builds against, and the packages. Included last, when
# every installed target exists.
include(CMakePackageConfigHelpers)

if(NOT WIN32)
  # find_package(CounterKit): CounterKit::slipdrv and CounterKit::korvel.
  set(kit_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/CounterKit)
  install(EXPORT CounterKitTargets NAMESPACE CounterKit:: DESTINATION ${kit_cmake_dir})
  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CounterKitConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/CounterKitConfig.cmake INSTALL_DESTINATION ${kit_cmake_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/CounterKitConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/CounterKitConfig.cmake ${CMAKE_BINARY_DIR}/CounterKitConfigVersion.cmake
          DESTINATION ${kit_cmake_dir})

  # pkg-config files that find the prefix from their own folder, so that an
  # install under another prefix (cmake --install --prefix) needs no rewrite.
  set(kit_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(KIT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(KIT_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
    set(KIT_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
  else()
    file(RELATIVE_PATH kit_pc_to_prefix /kit/${kit_pc_dir} /kit)
    string(REGEX REPLACE "/$" "" kit_pc_to_prefix "${kit_pc_to_prefix}")
    set(KIT_PC_PREFIX "\${pcfiledir}/${kit_pc_to_prefix}")
    set(KIT_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
    set(KIT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  foreach(pc slipdrv korvel)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${kit_pc_dir})
  endforeach()

  install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/make-voice-pack DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  # The Windows package: the programs and DLLs (bin), slipdrv.h with the
  # export table that an import library is made from, and the README.
  install(FILES ${SLIPDRV_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME counter-kit)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Cashier counter peripherals: spoken announcements, receipt printer driver, table controller sender")
set(CPACK_PACKAGE_CONTACT "Counter kit maintainers <maintainers@counter-kit.invalid>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  # The package ships no debug information (the build may carry it).
  set(CPACK_STRIP_FILES ON)
  # Library dependencies come from dpkg-shlibdeps; the renderer's fonts are
  # files it opens, so they are named here. The voice-pack maker's tools are
  # recommended: the rest of the kit works without them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-wqy-zenhei")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "espeak-ng, espeak-ng-data, sox")
endif()
include(CPack)

# The setup program for the venues' 32-bit Windows machines.
if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  include(${CMAKE_CURRENT_LIST_DIR}/installer.cmake)
endif()
