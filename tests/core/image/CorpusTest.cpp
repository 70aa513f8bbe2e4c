// Every archive of the shared LHA corpus through the program side and the built module.
//
// An archive that libarchive reads completely must give exactly the manifest's image (the last
// file member); every other must fail with one of the program's messages and no image.
#include "RealArchiver.h"
#include "core/image/ImageMessages.h"
#include "support/Sha256.h"

#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;

struct ManifestRow {
    std::string archive;
    std::string imageName; // "-" when no file member could be extracted
    std::string imageSize;
    std::string imageSha;
};

std::vector<ManifestRow> readManifest(const std::string& path) {
    std::vector<ManifestRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream fields(line);
        std::string col;
        while (std::getline(fields, col, '\t'))
            cols.push_back(col);
        if (cols.size() == 7)
            rows.push_back({cols[0], cols[4], cols[5], cols[6]});
    }
    return rows;
}

// Whether libarchive reads every header and every member's data to its stated length, and
// whether there is a regular file member among them: an account of the archive that does not
// go through the module.
struct Reference {
    bool readable = false;
    bool hasFile = false;
};

Reference readWithLibarchive(const std::string& path) {
    Reference ref;
    archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    if (archive_read_open_filename(a, path.c_str(), 16384) == ARCHIVE_OK) {
        archive_entry* entry;
        int r;
        bool ok = true;
        while (ok && (r = archive_read_next_header(a, &entry)) != ARCHIVE_EOF) {
            ok = r == ARCHIVE_OK || r == ARCHIVE_WARN;
            if (!ok)
                break;
            if (archive_entry_filetype(entry) == AE_IFREG)
                ref.hasFile = true;
            la_int64_t total = 0;
            const void* block;
            std::size_t size;
            la_int64_t offset;
            while ((r = archive_read_data_block(a, &block, &size, &offset)) == ARCHIVE_OK)
                total += static_cast<la_int64_t>(size);
            ok = r == ARCHIVE_EOF && total == archive_entry_size(entry);
        }
        ref.readable = ok;
    }
    archive_read_free(a);
    return ref;
}

// Archives where libarchive finds a file member that liblhasa (which made the manifest) does
// not list: level-0 headers with empty directory names, where liblhasa stops early.
const std::map<std::string, ManifestRow> kBeyondManifest = {
    {"lha_osk_201/h0_subdir.lzh",
     {"", "hello.txt", "12", "a948904f2f0f479b8f8197694b30184b0d2ed1c1cd2a1ec0fb85d299a192a447"}},
    {"lha_unix114i/h0_subdir.lzh",
     {"", "hello.txt", "12", "a948904f2f0f479b8f8197694b30184b0d2ed1c1cd2a1ec0fb85d299a192a447"}},
};

// MacBinary members of Mac archives: the manifest lists the stored length, while the image
// (and the listed digest) is the data fork alone.
const std::map<std::string, std::string> kDataForkLength = {
    {"maclha_224/l1_lh0.lzh", "6829"},         {"maclha_224/l2_lh0.lzh", "6829"},
    {"maclha_224/l1_lh5.lzh", "18092"},        {"maclha_224/l2_lh5.lzh", "18092"},
    {"maclha_224/l1_subdir.lzh", "11"},        {"maclha_224/l2_subdir.lzh", "11"},
    {"maclha_224/l1_full_subdir.lzh", "11"},   {"maclha_224/l2_full_subdir.lzh", "11"},
};

// Read by libarchive, refused on purpose: the only member's name is a terminal control
// sequence, which must not reach the screen.
const std::set<std::string> kRefusedNames = {"regression/badterm.lzh"};

std::string lowercase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

using CorpusTest = RealArchiverTest;

TEST_F(CorpusTest, EveryArchiveGivesItsImageOrFailsCleanly) {
    const std::string corpus = lhaCorpusFolder();
    if (!fs::exists(corpus + "MANIFEST.tsv"))
        GTEST_SKIP() << "the LHA corpus is not at " << corpus;
    const auto rows = readManifest(corpus + "MANIFEST.tsv");
    ASSERT_GE(rows.size(), 200u);

    int opened = 0;
    int refused = 0;
    for (const auto& listed : rows) {
        SCOPED_TRACE(listed.archive);
        const std::string path = corpus + listed.archive;
        const auto beyond = kBeyondManifest.find(listed.archive);
        ManifestRow row = beyond == kBeyondManifest.end() ? listed : beyond->second;
        if (const auto fork = kDataForkLength.find(listed.archive); fork != kDataForkLength.end())
            row.imageSize = fork->second;
        const Reference ref = readWithLibarchive(path);
        fs::remove_all(folder);

        const bool ok = open(path);
        if (ok) {
            ++opened;
            EXPECT_TRUE(host.messages.empty());
            ASSERT_NE(row.imageName, "-") << "an image where the manifest lists none";
            // liblhasa shows the all-capital names of DOS archives in lower case.
            EXPECT_EQ(lowercase(fs::path(host.file).filename().string()),
                      lowercase(row.imageName));
            EXPECT_EQ(std::to_string(host.size), row.imageSize);
            EXPECT_EQ(sha256Hex(document.image()), row.imageSha);
            EXPECT_EQ(document.buffer().size(), host.size + 1024u);
        } else {
            ++refused;
            EXPECT_FALSE(ref.readable && ref.hasFile && !kRefusedNames.contains(listed.archive))
                << "libarchive reads this archive, the open must succeed";
            ASSERT_EQ(host.messages.size(), 1u);
            const std::string message = firstLines(host.messages).front();
            EXPECT_TRUE(message == messages::kFileFormatError || message == messages::kStop)
                << message;
            EXPECT_EQ(host.file, "");
            if (fs::exists(folder)) {
                for (const auto& entry : fs::directory_iterator(folder))
                    EXPECT_NE(entry.path().filename().string().rfind(".pexo-", 0), 0u)
                        << "partial file left: " << entry.path();
            }
        }
    }
    // Guard against a module that refuses everything: libarchive 3.6.2 reads these.
    EXPECT_GE(opened, 130);
    RecordProperty("opened", opened);
    RecordProperty("refused", refused);
}

} // namespace
} // namespace pexo::test
