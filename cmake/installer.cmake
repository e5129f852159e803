# The Windows installer of the i686 build, counter-kit-VERSION-setup.exe, made
# with makensis from installer/counter_kit.nsi: the kit as `cmake --install`
# lays it out (the ZIP's tree), vocalcue.exe for the billing application's
# folder and a synthetic voice pack spoken by espeak-ng at build time.
# A target of its own rather than CPack's NSIS generator: the installer asks
# for a second folder, a voice pack and a printer port, writes the
# environment and registers a server, which CPack's fixed page sequence
# leaves no room for. Built with the rest (the tests use it) when makensis,
# espeak-ng and sox are there.
find_program(KIT_MAKENSIS makensis)
find_program(KIT_ESPEAK espeak-ng)
find_program(KIT_SOX sox)
if(NOT KIT_MAKENSIS OR NOT KIT_ESPEAK OR NOT KIT_SOX)
  message(STATUS "No Windows installer: makensis, espeak-ng or sox is missing (tools/install-deps installs them)")
  return()
endif()

set(installer_dir ${CMAKE_BINARY_DIR}/installer)
set(installer_stage ${installer_dir}/stage)
set(installer_voice ${installer_dir}/voice-pack)
set(installer_voice_list ${installer_dir}/voice_files.nsh)
set(KIT_INSTALLER ${CMAKE_BINARY_DIR}/counter-kit-${PROJECT_VERSION}-setup.exe)
set(installer_source ${PROJECT_SOURCE_DIR}/installer/counter_kit.nsi)

add_custom_command(OUTPUT ${installer_voice_list}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${installer_voice}
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/make-voice-pack ${installer_voice}
  COMMAND ${CMAKE_COMMAND} -DPACK=${installer_voice} -DOUT=${installer_voice_list}
          -P ${PROJECT_SOURCE_DIR}/installer/voice_files.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-voice-pack ${PROJECT_SOURCE_DIR}/installer/voice_files.cmake
  COMMENT "Speaking the installer's synthetic voice pack"
  VERBATIM)

# Staged by the install rules, so the installer ships what the ZIP ships.
set(installed_targets slipdrv korvel vocalcue slipdrv-print vocalcue-check)
add_custom_command(OUTPUT ${KIT_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${installer_stage}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${installer_stage}
  COMMAND ${CMAKE_COMMAND} -E env LANG=C.UTF-8
          ${KIT_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION} -DSTAGE=${installer_stage}
          -DVOICE_PACK=${installer_voice} -DVOICE_FILES=${installer_voice_list} -DOUTFILE=${KIT_INSTALLER}
          ${installer_source}
  DEPENDS ${installer_source} ${installer_voice_list} ${installed_targets} slipdrv_export_files
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/slipdrv/slipdrv.h
  COMMENT "Making ${KIT_INSTALLER}"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${KIT_INSTALLER})

# The installer under 32-bit Wine, in a prefix of its own, with the native
# build's table controller, virtual printer and modem-line shim.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(native ${KIT_NATIVE_BUILD_DIR})
  add_test(NAME installer_wine
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/installer/run_installer_wine.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                   ${KIT_INSTALLER} ${native}/sim/virtual_printer/virtual-printer
                   ${native}/sim/table_controller/table-controller "${native}/sim/modem_shim/$LIB/libmodem_shim.so"
                   ${PROJECT_SOURCE_DIR}/examples/table_lights.vbs ${PROJECT_VERSION})
  set_tests_properties(installer_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 900)
endif()
