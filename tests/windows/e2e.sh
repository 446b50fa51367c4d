#!/usr/bin/env bash
# The Windows build end to end under Wine, against simulated counters on pseudo-terminals that
# the prefix's COM names lead to:
#   1. the end-to-end tests against tallyx.dll (reads and programmings of both models, the
#      device information, discharge, a USB bridge port through a stand-in SiUSBXp.dll,
#      hang-ups and other rows of the fault matrix, the caller's misuse) and against tallyx.exe;
#   2. tallyread.exe against the Linux tallyread, file for file and line for line;
#   3. tallyx.exe ui serving its pages and API to Linux over loopback, with a read of each model
#      through them that gives the records tallyx read gives on Linux.
# Run inside tests/run_under_wine.sh, which sets up Wine and claims the COM names:
#   bash tests/run_under_wine.sh WIN_BUILD --linux tests/windows/e2e.sh LINUX_BUILD WIN_BUILD [--all]
# --all runs every end-to-end test that builds for the Wine run, not just the chosen ones.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)

# The chosen tests: each of the kinds above at least once per model.
fault_rows=(A_WrongWakeUpLine A_SerialAnswerDropped A_SequentialPageCrcWrongOnce A_PageDropped
  A_LineHungUpMidPage A_EraseAnswerDropped A_LineHungUpWhileProgramming A_DischargeAnsweredWithAnotherEcho
  B_NoWakeUp B_SerialAnswerDropped B_AbsurdRecordCount B_ChunkShort B_LineHungUpMidChunk
  B_DischargeStopGarbled B_ClockAnswerDropped B_LineHungUpWhileProgramming)
filter="ConnectionTest.*:FullReadTest.*:ModelBFullReadTest.*:Writes/RoundTripTest.*:CallerMisuseTest.*"
filter+=":LifecycleTest.*:ModelBCallbackTest.*:UsbBridge*:Cli/TallyxModelTest.*:TallyxCliTest.HelpMessagesAndPathsUseTheSystemsTerms"
for row in "${fault_rows[@]}"; do filter+=":Faults/FaultMatrixTest.EndsAsDocumented/$row"; done
[ "${3:-}" = --all ] && filter="*"

export TALLYX_E2E_PORT_DIR=$win/wine-ports
export TALLYX_DLL_SERVER=$win/dll_server.exe
export TALLYX_CLI_EXE=$win/tallyx.exe
export TALLYX_USB_STUB_DEVICES=COM250

# The tests that load the stand-in SiUSBXp.dll run first, in a process of their own: under Wine
# a process that has waited on a COM port with WaitCommEvent may hang or crash in Wine's loader
# when it then loads a DLL with thread-local storage (see the README).
usb="UsbBridge*:ConnectionTest.MissingPortFailsToOpen"
start=$SECONDS
"$linux/tests/wine_e2e_tests" --gtest_filter="$usb" --gtest_brief=${TALLYX_GTEST_BRIEF:-1}
"$linux/tests/wine_e2e_tests" --gtest_filter="$filter:-$usb" --gtest_brief=${TALLYX_GTEST_BRIEF:-1}
echo "Windows end-to-end tests: $((SECONDS - start)) s"

start=$SECONDS
bash "$here/compare_readers.sh" "$linux" "$win"
echo "tallyread.exe against tallyread: $((SECONDS - start)) s"

start=$SECONDS
TALLYX_UI_COMMAND="$TALLYX_WINE $win/tallyx.exe ui --no-browser --archive {archive}" \
  TALLYSIM_BINARY=$linux/tallysim TALLYX_CLI=$linux/tallyx /usr/bin/python3 "$here/../ui/ui_wine_test.py"
echo "tallyx.exe ui under Wine: $((SECONDS - start)) s"
