# The tests of the Windows build that are not run under Wine, each with the
# reason: whole test programs, and single tests (their ctest names, as regular
# expressions). Every other test of the Qt-free suite runs under Wine
# (scripts/windows test). Included by tests/CMakeLists.txt for a Windows
# build; "cmake -DPRINT=ON -P tests/wine-exclusions.cmake" prints the list.

cmake_policy(VERSION 3.25)

set(ORVENNA_WINE_EXCLUDED_PROGRAMS
  proxy_integration_tests
    "starts the real nginx and tinyproxy, which are Linux programs"
  worker_integration_tests
    "starts the real nginx and tinyproxy, which are Linux programs"
  cli_tests
    "starts orvenna-cli through the POSIX process support (fork, a pseudo-terminal, signals), and scripts/windows cli-demo runs orvenna-cli.exe under Wine instead"
)

set(ORVENNA_WINE_EXCLUDED_TESTS
  "platform_tests.Locale.FollowsTheDesktopsRegionalSettings"
    "Wine's German short date is d.MM.yyyy (8.12.2026) where Windows has dd.MM.yyyy"
  "task_tests.AtomicFileWriter.ChunksBecomeTheFileOnlyAtCommit|task_tests.AtomicFileWriter.OwnerOnlyNewFile|run_tests.ConfigFile.UsersSettingsFileIsMadeOnFirstUseOwnerOnlyWithTheDefaults"
    "they check POSIX permission bits, while Windows files take the folder's access list"
  "http_client_tests.HttpClientTest.RecoversOnTheNextRequestAfterAFault|http_client_tests.Table/HttpClientFactsTest.ReportsWhatTheTransferWas/(SuccessResetMidBody|NotFoundResetMidBody|Reset) |failed_list_run_tests.FailedListRun.(ResetIsRepeatedAtOnceAndOnlyTheSuccessIsStored|EndlessResetsAreBoundedThenHandledAsAnyFailure)"
    "under Wine the test server's abortive close (SO_LINGER 0) reaches the client as a graceful close, not as a reset, so no 10054 can be provoked"
  "worker_source_tests.WorkerSource.TransientFailuresAreAskedAgainAfterGrowingPausesThenGivenUpWithTheReason"
    "one of its rows is a connection reset, which under Wine reaches the client as a graceful close (see the reset tests above)"
  "failed_list_run_tests.Rows/FailedListSaveFailure.EndsTheRunAtThatRecord/TargetIsANamedPipe"
    "Windows has no named pipe in a file's place (its pipes live in their own namespace), so the row cannot be set up"
  "run_controller_tests.RunControllerTest.PositionsAreSavedOnlyAfterTheTilesTheyCoverAreFlushed"
    "it fails the flush of the file system that makes the finished tiles durable, a step Windows has not (there every tile is flushed as it is written)"
  "run_tests.LineFileTest.(LaterSavesAppendOnlyTheNewLines|LoadedFileIsAppendedToOnlyWhenItAlreadyEndsEveryLineInCrLf)"
    "the Windows build rewrites the log and the failed list instead of appending to them (platform::AppendableFile: an open file there could not be replaced by an atomic rename)"
)

# Tests whose sources are POSIX-only and not compiled for Windows (#ifndef
# _WIN32 in the file), with why: listed here so that none goes unnoticed.
set(ORVENNA_WINDOWS_UNBUILT_TESTS
  "http_client_tests: TileServerTests.cpp"
    "checks the loopback server's wire through raw POSIX sockets and errno (the server itself runs under Wine in every net test)"
  "platform_tests: WriteFileAtomic.NewFilesFollowTheUmaskOrAreOwnerOnly, AnExistingFileKeepsItsMode, WritesThroughASymbolicLinkAndIntoAPipe"
    "POSIX modes, umask, symbolic links and named pipes, while Windows files take the folder's access list"
  "platform_tests: WriteFileAtomic.ReadOnlyFolderOrFileIsNotWritten, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary, RemoveStaleTemporaries.*"
    "POSIX permissions, RLIMIT_FSIZE and kill(), and Wine runs as the Linux user and ignores access lists"
  "platform_tests: DurableBatch.*"
    "the POSIX flush steps (syncfs, folder fsync), while Windows lets no user flush a volume, so every file is flushed as written"
  "platform_tests: ExecutableFolder.*, Locations.* (POSIX layouts)"
    "POSIX paths, program names and XDG folders (the Windows build has its own test, Locations.SettingsBesideTheProgramElseInAppDataAndTheCacheInLocalAppData)"
  "settings_tests: IniFileWrite.FileModes, IniFileWrite.ReadOnlyOrUnreadableFileIsLeftAlone"
    "POSIX modes and permissions"
)

if(PRINT)
  foreach(list_name ORVENNA_WINE_EXCLUDED_PROGRAMS ORVENNA_WINE_EXCLUDED_TESTS ORVENNA_WINDOWS_UNBUILT_TESTS)
    set(entries ${${list_name}})
    list(LENGTH entries count)
    set(i 0)
    while(i LESS count)
      list(GET entries ${i} what)
      math(EXPR j "${i} + 1")
      list(GET entries ${j} why)
      if(list_name STREQUAL "ORVENNA_WINE_EXCLUDED_PROGRAMS")
        message("  ${what} (the whole program): ${why}")
      elseif(list_name STREQUAL "ORVENNA_WINDOWS_UNBUILT_TESTS")
        message("  ${what} (not compiled for Windows): ${why}")
      else()
        message("  ${what}: ${why}")
      endif()
      math(EXPR i "${i} + 2")
    endwhile()
  endforeach()
endif()
