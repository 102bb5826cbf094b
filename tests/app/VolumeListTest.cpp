// The volume list page through its controller: both scans, the messages, the
// custom settings, the filter and where Next leads.
#include "app/RawRecoveryDialog.h"
#include "app/ShellFixture.h"
#include "app/VolumeFilter.h"

namespace tavrel::test {
namespace {

using app::PopulateDriveDlg;
constexpr int kPage = app::kVolumeListPage;
constexpr const char* kList = PopulateDriveDlg::kVolumeList;

class VolumeListTest : public ShellFixture {
protected:
    // Three primary partitions: NTFS (1 MiB at 2048), FAT32, and an unknown type.
    VhdSpec threeVolumes() {
        VhdSpec spec;
        spec.diskBytes = 16 * 1048576;
        spec.sectors[0] = mbrSector({{0x07, 2048, 2048}, {0x0C, 4096, 8192}, {0x99, 12288, 4096}});
        spec.sectors[2048] = ntfsBootSector(2047);
        return spec;
    }
    // No partition table; one NTFS volume at 2048 with its backup boot sector.
    VhdSpec lostVolume() {
        VhdSpec spec;
        spec.diskBytes = 8 * 1048576;
        spec.sectors[2048] = ntfsBootSector(4095);
        spec.sectors[2048 + 4095] = ntfsBootSector(4095);
        return spec;
    }
    void select(int row) {
        gui.userSelectRow(kPage, kList, row);
        wizard.visiblePage()->command(kList);
    }
    void clickRow(int row) {
        select(row);
        wizard.visiblePage()->command(PopulateDriveDlg::kVolumeListClick);
    }
    std::vector<std::string> statuses() const { return gui.textHistory(kPage, "status"); }
};

TEST_F(VolumeListTest, StandardScanListsVolumesInTableOrder) {
    toVolumeList(makeImage(threeVolumes()));
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_EQ(column(kPage, kList, 0), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(column(kPage, kList, 1), (std::vector<std::string>{"NTFS", "FAT32", "Unknown"}));
    EXPECT_EQ(column(kPage, kList, 3), (std::vector<std::string>{"2048", "4096", "12288"}));
    EXPECT_EQ(gui.rows(kPage, kList)[0][2], "1   MB");
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kCustomCheck));
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kFilter));
    EXPECT_FALSE(gui.visible(kPage, PopulateDriveDlg::kAddCustom));
    EXPECT_FALSE(gui.visible(kPage, "progress"));
    const auto s = statuses();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[s.size() - 2], "Finished Scanning.");
    EXPECT_EQ(s.back(), "Select volume and click next button...");
    EXPECT_TRUE(gui.messages().empty());
    // The page installed a fresh reader for the scan.
    ASSERT_NE(wizard.currentReader, nullptr);
    EXPECT_EQ(wizard.totalSectors, 16u * 2048);
}

TEST_F(VolumeListTest, FixedDiskImagesAreScannedToo) {
    const auto image = dir / "fixed.vhd";
    writeFixedVhd(image, threeVolumes());
    ASSERT_TRUE(app::startWizard(wizard, false));
    click(kImagePage, app::VhdInputDialog::kFixedDisk);
    gui.queueFile(image.string());
    wizard.visiblePage()->command(app::VhdInputDialog::kBrowse);
    wizard.visiblePage()->next();
    wizard.visiblePage()->next();
    ASSERT_EQ(wizard.visiblePage()->pageId(), kPage);
    EXPECT_TRUE(gui.messages().empty());
    EXPECT_EQ(column(kPage, kList, 1), (std::vector<std::string>{"NTFS", "FAT32", "Unknown"}));
}

TEST_F(VolumeListTest, TreatEntriesAreSorted) {
    toVolumeList(makeImage(threeVolumes()));
    EXPECT_EQ(gui.control(kPage, PopulateDriveDlg::kTreatAs).items,
              (std::vector<std::string>{"EXTX", "FAT16", "FAT32", "FAT64", "HFS+", "NTFS", "RAW", "XFS"}));
}

TEST_F(VolumeListTest, MissingImageMessages) {
    // The chosen image vanished: the reader cannot be opened.
    const auto image = makeImage(threeVolumes());
    auto& modes = toScanMode(image);
    std::filesystem::remove(image);
    modes.next();
    EXPECT_EQ(gui.lastMessage(), "file not opened..");
    EXPECT_TRUE(gui.rows(kPage, kList).empty());
    EXPECT_FALSE(gui.enabled(kPage, PopulateDriveDlg::kCustomCheck));
    EXPECT_TRUE(gui.enabled(kPage, "back"));

    // No image was chosen as one at all.
    wizard.back();
    gui.clearMessages();
    wizard.imageMarker = 0;
    wizard.visiblePage()->next();
    EXPECT_EQ(gui.lastMessage(), "Information lost ..go back and parse again");
}

TEST_F(VolumeListTest, NextNeedsAKnownSelectedVolume) {
    auto& page = toVolumeList(makeImage(threeVolumes()));
    page.next();
    EXPECT_EQ(gui.lastMessage(), "please select a valid volume.");
    select(2);
    page.next();
    EXPECT_EQ(gui.lastMessage(), "can not parse unknown volume");
    EXPECT_EQ(wizard.visiblePage(), &page);

    select(0);
    page.next();
    ASSERT_EQ(wizard.visiblePage()->pageId(), app::kRecoveryModePage);
    EXPECT_EQ(wizard.visiblePage()->creatorPageId, kPage);
}

TEST_F(VolumeListTest, SelectingARowFillsTheSectorFields) {
    toVolumeList(makeImage(threeVolumes()));
    select(0);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kSelectedValue), "0");
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kStartSector), "2048");
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kEndSector), "4095");
    clickRow(1);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kTreatAs), "FAT32");
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kEndSector), std::to_string(4096 + 4 * 2048 - 1));
    // No entry begins with "Unknown": the choice stays.
    clickRow(2);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kTreatAs), "FAT32");
}

TEST_F(VolumeListTest, CustomSettingsControlsFollowTheBox) {
    auto& page = toVolumeList(makeImage(threeVolumes()));
    EXPECT_FALSE(gui.enabled(kPage, PopulateDriveDlg::kStartSector));
    EXPECT_FALSE(gui.enabled(kPage, PopulateDriveDlg::kTreatAs));
    click(kPage, PopulateDriveDlg::kCustomCheck);
    for (const char* id : {PopulateDriveDlg::kSelectedLabel, PopulateDriveDlg::kStartSector, PopulateDriveDlg::kStartUp,
                           PopulateDriveDlg::kEndDown, PopulateDriveDlg::kTreatLabel, PopulateDriveDlg::kTreatAs})
        EXPECT_TRUE(gui.enabled(kPage, id)) << id;

    gui.userSetText(kPage, PopulateDriveDlg::kStartSector, "0");
    page.command(PopulateDriveDlg::kStartDown);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kStartSector), "0");
    page.command(PopulateDriveDlg::kStartUp);
    page.command(PopulateDriveDlg::kStartUp);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kStartSector), "2");
    gui.userSetText(kPage, PopulateDriveDlg::kEndSector, "10");
    page.command(PopulateDriveDlg::kEndDown);
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kEndSector), "9");
}

TEST_F(VolumeListTest, CustomSettingsShapeTheHandedRecord) {
    auto& page = toVolumeList(makeImage(threeVolumes()));
    select(1);
    click(kPage, PopulateDriveDlg::kCustomCheck);
    gui.userSetText(kPage, PopulateDriveDlg::kStartSector, "2048");
    gui.userSetText(kPage, PopulateDriveDlg::kEndSector, "4095");
    gui.userSetText(kPage, PopulateDriveDlg::kTreatAs, "NTFS");
    const VolumeRecord record = page.chosenRecord();
    EXPECT_EQ(record.fsName, "ntfs");
    EXPECT_EQ(record.sizeMiBText, "1");
    EXPECT_EQ(record.startSector, 2048);
    EXPECT_EQ(record.sectorCount, 2048);

    gui.userSetText(kPage, PopulateDriveDlg::kEndSector, "100");
    EXPECT_EQ(page.chosenRecord().sizeMiBText, "0");
    gui.userSetText(kPage, PopulateDriveDlg::kTreatAs, "EXTX");
    EXPECT_EQ(page.chosenRecord().fsName, "extX");
}

// The kinds that came last have their parsers: treated as one, a volume goes on.
TEST_F(VolumeListTest, TreatedAsExtGoesOnToTheModePage) {
    auto& page = toVolumeList(makeImage(threeVolumes()));
    select(1);
    click(kPage, PopulateDriveDlg::kCustomCheck);
    gui.userSetText(kPage, PopulateDriveDlg::kTreatAs, "EXTX");
    page.next();
    EXPECT_NE(wizard.visiblePage(), &page) << gui.lastMessage();
}

TEST_F(VolumeListTest, RawGoesToRawRecoveryAndBackRestoresTheRow) {
    auto& page = toVolumeList(makeImage(threeVolumes()));
    select(0);
    click(kPage, PopulateDriveDlg::kCustomCheck);
    gui.userSetText(kPage, PopulateDriveDlg::kTreatAs, "RAW");
    page.next();
    auto* raw = dynamic_cast<app::RawRecoveryDialog*>(wizard.visiblePage());
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->pageId(), app::kRawRecoveryPage);
    EXPECT_EQ(raw->volume().fsName, "RAW");
    EXPECT_EQ(raw->creatorPageId, kPage);
    EXPECT_FALSE(gui.visible(app::kRawRecoveryPage, "next"));

    raw->back();
    EXPECT_EQ(wizard.visiblePage(), &page);
    EXPECT_EQ(gui.visiblePage(), kPage);
    // The row still shows, and hands on, what the scan found.
    EXPECT_EQ(gui.rows(kPage, kList)[0][1], "NTFS");
    click(kPage, PopulateDriveDlg::kCustomCheck, false);
    const VolumeRecord record = page.chosenRecord();
    EXPECT_EQ(record.fsName, "NTFS");
    EXPECT_EQ(record.startSector, 2048);
}

TEST_F(VolumeListTest, AdvancedScanFindsALostVolumeOnAWorker) {
    auto& page = toVolumeList(makeImage(lostVolume()), true);
    EXPECT_TRUE(gui.visible(kPage, PopulateDriveDlg::kAddCustom));
    ASSERT_TRUE(finishScan(page));

    // With skipping, the backup boot sector inside the volume is not listed.
    EXPECT_EQ(column(kPage, kList, 1), std::vector<std::string>{"NTFS"});
    EXPECT_EQ(column(kPage, kList, 3), std::vector<std::string>{"2048"});
    EXPECT_EQ(gui.lastMessage(), "populated partitions....");
    const auto s = statuses();
    EXPECT_NE(std::find(s.begin(), s.end(), "Scanned Partitions"), s.end());
    EXPECT_EQ(s.back(), "Select volume and click next button...");
    EXPECT_TRUE(gui.enabled(kPage, "back"));
    EXPECT_TRUE(gui.enabled(kPage, "next"));
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kAddCustom));
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kCustomCheck));
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kFilter));
    EXPECT_FALSE(gui.visible(kPage, "progress"));
}

TEST_F(VolumeListTest, NoSkipPassesOverTheBackupBootSector) {
    ShellFixture::toScanMode(makeImage(lostVolume()));
    gui.userSetChecked(kModePage, app::DriveParsingModes::kStandardScan, false);
    click(kModePage, app::DriveParsingModes::kAdvanceScan);
    click(kModePage, app::DriveParsingModes::kNoSkip);
    wizard.visiblePage()->next();
    auto* page = dynamic_cast<PopulateDriveDlg*>(wizard.visiblePage());
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(finishScan(*page));
    // The NTFS backup boot sector at 6143 is not a volume of its own.
    EXPECT_EQ(column(kPage, kList, 3), std::vector<std::string>{"2048"});

    page->command(PopulateDriveDlg::kFilter);
    EXPECT_EQ(column(kPage, kList, 3), std::vector<std::string>{"2048"});
}

TEST_F(VolumeListTest, AddCustomVolumeInAdvancedMode) {
    auto& page = toVolumeList(makeImage(lostVolume()), true);
    ASSERT_TRUE(finishScan(page));
    page.command(PopulateDriveDlg::kAddCustom);
    const auto rows = gui.rows(kPage, kList);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "CUSTOM ", "0", "0"}));
    EXPECT_EQ(gui.control(kPage, kList).selectedRow, 0);
    EXPECT_TRUE(gui.checked(kPage, PopulateDriveDlg::kCustomCheck));
    EXPECT_TRUE(gui.enabled(kPage, PopulateDriveDlg::kStartSector));
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kStartSector), "0");
    EXPECT_EQ(gui.textOf(kPage, PopulateDriveDlg::kEndSector), "0");

    // A custom volume with a start, an end and a file system goes on.
    gui.userSetText(kPage, PopulateDriveDlg::kStartSector, "2048");
    gui.userSetText(kPage, PopulateDriveDlg::kEndSector, "6143");
    gui.userSetText(kPage, PopulateDriveDlg::kTreatAs, "NTFS");
    page.next();
    EXPECT_EQ(wizard.visiblePage()->pageId(), app::kRecoveryModePage);
}

TEST_F(VolumeListTest, StopKeepsWhatWasListedAndBackIsOffered) {
    VhdSpec spec = lostVolume();
    spec.diskBytes = 256 * 1048576;
    auto& page = toVolumeList(makeImage(spec), true);
    const bool stopped = page.scanning();
    if (stopped) {
        EXPECT_FALSE(gui.enabled(kPage, "back"));
        EXPECT_FALSE(gui.enabled(kPage, "next"));
        page.next();
        EXPECT_EQ(gui.lastMessage(), "Please wait for the running process.");
        page.stop();
        EXPECT_TRUE(gui.enabled(kPage, "back"));
    }
    ASSERT_TRUE(finishScan(page));
    // A stopped scan says so instead of the end of a whole one.
    EXPECT_EQ(gui.lastMessage(), stopped ? PopulateDriveDlg::kScanStopped : PopulateDriveDlg::kPopulated);
    EXPECT_TRUE(gui.enabled(kPage, "next"));
}

TEST_F(VolumeListTest, BackDuringTheScanStopsAndReleasesThePage) {
    VhdSpec spec = lostVolume();
    spec.diskBytes = 256 * 1048576;
    auto& page = toVolumeList(makeImage(spec), true);
    page.stop();
    page.back();
    EXPECT_EQ(wizard.visiblePage()->pageId(), kModePage);
    // Finds and the finish posted by the dead page's worker are dropped.
    gui.runPosted();
    EXPECT_EQ(wizard.visiblePage()->pageId(), kModePage);
    // Forward again scans again on a new page.
    wizard.visiblePage()->next();
    auto* again = dynamic_cast<PopulateDriveDlg*>(wizard.visiblePage());
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(finishScan(*again));
    EXPECT_EQ(column(kPage, kList, 3), std::vector<std::string>{"2048"});
}

// LVM2 (tests/fixtures/lvm): each logical volume is a row named after its
// number, kept by the filter, and goes on like a partition; one that cannot
// be read (here: its second physical volume's label wiped) tells why on Next.
TEST_F(VolumeListTest, LogicalVolumesAreRowsOfTheirOwn) {
    auto& page = toVolumeList(unpackedFixture("lvm/lvm-mbr.raw.xz"));
    EXPECT_EQ(column(kPage, kList, 0), (std::vector<std::string>{"0", "1 tvmbr/root", "2 tvmbr/data"}));
    EXPECT_EQ(column(kPage, kList, 1), (std::vector<std::string>{"Unknown", "extX", "XFS"}));
    page.command(PopulateDriveDlg::kFilter);
    EXPECT_EQ(gui.rows(kPage, kList).size(), 3u);
    select(1);
    page.next();
    EXPECT_EQ(wizard.visiblePage()->pageId(), app::kRecoveryModePage) << gui.lastMessage();
}

TEST_F(VolumeListTest, ALogicalVolumeThatCannotBeReadTellsWhy) {
    auto disk = readFileBytes(unpackedFixture("lvm/lvm-striped.raw.xz"));
    std::fill_n(disk.begin() + (47104 + 1) * 512, 512, 0);
    writeFileBytes(dir / "one-pv.raw", disk);
    auto& other = toVolumeList(dir / "one-pv.raw");
    ASSERT_EQ(gui.rows(kPage, kList).size(), 3u);
    select(2);
    other.next();
    EXPECT_EQ(wizard.visiblePage(), &other);
    EXPECT_NE(gui.lastMessage().find("tvstripe/striped lies partly on physical volumes that are not on this disk"),
              std::string::npos)
        << gui.lastMessage();
}

TEST(VolumeFilterTest, KeepsVolumesDropsCopiesInsideThem) {
    auto rec = [](const std::string& fs, std::int64_t start, std::int64_t count, const std::string& size) {
        VolumeRecord r;
        r.fsName = fs;
        r.startSector = start;
        r.sectorCount = count;
        r.sizeMiBText = size;
        return r;
    };
    const std::vector<VolumeRecord> found = {
        rec("FAT32", 2048, 65536, "32  MB"),  rec("FAT32", 2054, 65536, "32  MB"),  // backup boot sector
        rec("NTFS", 67584, 4095, "1   MB"),   rec("NTFS", 71679, 4095, "1   MB"),   // NTFS backup, just past
        rec("FAT16", 71680, -1, "2  MB"),     rec("FAT16", 71680, -1, "2  MB"),     // same start twice
        rec("HFS+", 80000, -1, "1  MB"),
    };
    const auto kept = app::filterVolumes(found);
    std::vector<std::int64_t> starts;
    for (const auto& r : kept) starts.push_back(r.startSector);
    EXPECT_EQ(starts, (std::vector<std::int64_t>{2048, 67584, 71680, 80000}));
    EXPECT_TRUE(app::filterVolumes({}).empty());
}

}  // namespace
}  // namespace tavrel::test
