# Writes the NSIS include that names the sounds of a voice pack:
#   cmake -DPACK=DIR -DOUT=voice_files.nsh -P voice_files.cmake
# VOICE_FILES_DO hands each sound's name (its file name without .wav) to the
# macro it is given, so that the installer and the uninstaller go through one
# list, the one tools/make-voice-pack wrote.
file(GLOB sounds RELATIVE ${PACK}/wav ${PACK}/wav/*.wav)
list(SORT sounds)
list(LENGTH sounds count)
if(NOT count EQUAL 30)
  message(FATAL_ERROR "${PACK}/wav holds ${count} sounds, not 30")
endif()
set(text "; Written by voice_files.cmake from the synthetic voice pack.\n!macro VOICE_FILES_DO ACTION\n")
foreach(sound IN LISTS sounds)
  string(REGEX REPLACE "\\.wav$" "" name "${sound}")
  string(APPEND text "  !insertmacro \${ACTION} \"${name}\"\n")
endforeach()
string(APPEND text "!macroend\n")
file(WRITE ${OUT} "${text}")
