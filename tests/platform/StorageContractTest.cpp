// Settings and files behave as the registry and Windows' files do.
#include "base/Failure.h"
#include "base/Text.h"
#include "platform/PlatformContract.h"

namespace bridge::platform::contract {
namespace {

TEST_P(SettingsContract, AnAbsentKeyGivesTheDefaultAndAnEmptyValueIsNotAbsent) {
  SettingsStore& store = harness->Store();
  const std::string app = harness->App();
  EXPECT_EQ(store.Get(app, "Windows", "MainLeft", "1200"), "1200");
  store.Save(app, "Windows", "MainLeft", "");
  EXPECT_EQ(store.Get(app, "Windows", "MainLeft", "1200"), "");
}

TEST_P(SettingsContract, NamesAreCaseBlindAndValuesKeepTheirCase) {
  SettingsStore& store = harness->Store();
  const std::string app = harness->App();
  store.Save(app, "Windows", "DualMonitor", "True");
  EXPECT_EQ(store.Get(base::ToUpper(app), "WINDOWS", "dualmonitor", "False"), "True");
  store.Save(app, "windows", "DUALMONITOR", "false");
  EXPECT_EQ(store.Get(app, "Windows", "DualMonitor", ""), "false");
}

TEST_P(SettingsContract, SectionsAndApplicationsKeepTheirOwnValues) {
  SettingsStore& store = harness->Store();
  const std::string app = harness->App();
  store.Save(app, "Windows", "Left", "1");
  store.Save(app, "Other", "Left", "2");
  EXPECT_EQ(store.Get(app, "Windows", "Left", ""), "1");
  EXPECT_EQ(store.Get(app, "Other", "Left", ""), "2");
  EXPECT_EQ(store.Get(app + "X", "Windows", "Left", "none"), "none");
}

TEST_P(FilesContract, AMissingFileHasNoLengthAndOpeningItCreatesItEmpty) {
  FileSystem& files = harness->Files();
  const std::string path = harness->Folder() + "\\ErrorLog.txt";
  EXPECT_EQ(files.FileLength(path), std::nullopt);
  files.OpenForAppend(path);
  EXPECT_EQ(files.FileLength(path), 0);
}

TEST_P(FilesContract, LinesEndInCarriageReturnLineFeedAndReopeningAppends) {
  FileSystem& files = harness->Files();
  const std::string path = harness->Folder() + "\\ErrorLog.txt";
  {
    auto file = files.OpenForAppend(path);
    file->WriteLine("first");
    file->WriteLine("");
  }
  files.OpenForAppend(path)->WriteLine("3rd");
  EXPECT_EQ(files.FileLength(path), 7 + 2 + 5);
}

TEST_P(FilesContract, AFileCannotBeOpenedInAFolderThatIsNotThereUntilTheFolderIsMade) {
  FileSystem& files = harness->Files();
  const std::string folder = harness->AbsentFolder();
  const std::string path = folder + "\\ErrorLog.txt";
  EXPECT_EQ(files.FileLength(path), std::nullopt);
  EXPECT_THROW(files.OpenForAppend(path), base::Failure);
  files.CreateFolder(folder);
  files.OpenForAppend(path)->WriteLine("x");
  EXPECT_EQ(files.FileLength(path), 3);
}

TEST_P(FilesContract, MakingAFolderThatIsThereKeepsItsFiles) {
  FileSystem& files = harness->Files();
  const std::string folder = harness->AbsentFolder();
  files.CreateFolder(folder);
  files.OpenForAppend(folder + "\\ErrorLog.txt")->WriteLine("kept");
  files.CreateFolder(folder);
  EXPECT_EQ(files.FileLength(folder + "\\ErrorLog.txt"), 6);
}

TEST_P(FilesContract, AFolderCannotBeMadeWhereAFileIsNorWithoutItsParent) {
  FileSystem& files = harness->Files();
  const std::string folder = harness->AbsentFolder();
  files.OpenForAppend(harness->Folder() + "\\Taken");
  EXPECT_THROW(files.CreateFolder(harness->Folder() + "\\Taken"), base::Failure);
  EXPECT_THROW(files.CreateFolder(folder + "\\Inner"), base::Failure);
  EXPECT_EQ(files.FileLength(folder + "\\Inner\\ErrorLog.txt"), std::nullopt);
}

TEST_P(FilesContract, PathsAreCaseBlind) {
  FileSystem& files = harness->Files();
  files.OpenForAppend(harness->Folder() + "\\ErrorLog.txt")->WriteLine("x");
  files.OpenForAppend(harness->Folder() + "\\ERRORLOG.TXT")->WriteLine("y");
  EXPECT_EQ(files.FileLength(harness->Folder() + "\\errorlog.txt"), 6);
}

}  // namespace
}  // namespace bridge::platform::contract
