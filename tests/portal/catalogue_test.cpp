// The torrents the portal makes from its samples, read back with a reader of
// their own: they must be canonical bencode, their info-hash the SHA-1 of the
// info dictionary's bytes, and their pieces must match the sample files.

#include "bencodereader.h"
#include "testdata.h"

#include "portal/catalogue.h"
#include "portal/sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using portaltest::BencodeValue;
using portaltest::DecodeBencode;

using portaltest::ShippedCatalogue;
using portaltest::ShippedFile;

TEST(Sha1, MatchesPublishedDigests) {
    EXPECT_EQ(portal::HexUpper(portal::Sha1("")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(portal::HexUpper(portal::Sha1("abc")), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(portal::HexUpper(portal::Sha1(std::string(1000000, 'a'))),
              "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Catalogue, ShipsSingleAndMultiFileTorrentsOfSeveralPieces) {
    const auto& torrents = ShippedCatalogue().Torrents();
    ASSERT_GE(torrents.size(), 4u);
    auto count = [&](auto predicate) {
        return std::count_if(torrents.begin(), torrents.end(), predicate);
    };
    EXPECT_GE(count([](const portal::Torrent& t) { return t.multiFile; }), 1);
    EXPECT_GE(count([](const portal::Torrent& t) { return !t.multiFile; }), 1);
    EXPECT_GE(
        count([](const portal::Torrent& t) { return t.totalLength > 2 * portal::PieceLength; }), 1);
}

TEST(Catalogue, TorrentFilesAreCanonicalAndHashTheirInfoDictionary) {
    for (const portal::Torrent& torrent : ShippedCatalogue().Torrents()) {
        SCOPED_TRACE(torrent.name);
        const std::optional<BencodeValue> metainfo = DecodeBencode(torrent.metainfo);
        ASSERT_TRUE(metainfo);
        const BencodeValue& info = metainfo->At("info");
        EXPECT_EQ(torrent.infoHash, portal::HexUpper(portal::Sha1(info.raw)));
        EXPECT_EQ(torrent.infoHash.size(), 40u);
        EXPECT_EQ(metainfo->At("announce").string.rfind("http://127.0.0.1:", 0), 0u);
        EXPECT_EQ(metainfo->At("comment").string, torrent.title);
        EXPECT_EQ(info.At("name").string, torrent.name);
        EXPECT_EQ(info.At("piece length").integer, std::int64_t(portal::PieceLength));
    }
}

TEST(Catalogue, FilesAndPiecesMatchTheSamplesOnDisk) {
    for (const portal::Torrent& torrent : ShippedCatalogue().Torrents()) {
        SCOPED_TRACE(torrent.name);
        const BencodeValue info = DecodeBencode(torrent.metainfo)->At("info");
        const std::string root = "samples/" + torrent.name;
        std::string content;
        if (torrent.multiFile) {
            ASSERT_EQ(info.dictionary.count("length"), 0u);
            const auto& files = info.At("files").list;
            ASSERT_EQ(files.size(), torrent.files.size());
            for (const BencodeValue& file : files) {
                std::string path = root;
                for (const BencodeValue& component : file.At("path").list)
                    path += '/' + component.string;
                const std::string bytes = ShippedFile(path);
                EXPECT_EQ(file.At("length").integer, std::int64_t(bytes.size())) << path;
                content += bytes;
            }
        } else {
            ASSERT_EQ(info.dictionary.count("files"), 0u);
            content = ShippedFile(root);
            EXPECT_EQ(info.At("length").integer, std::int64_t(content.size()));
        }
        EXPECT_EQ(content.size(), torrent.totalLength);
        const std::string& pieces = info.At("pieces").string;
        const std::size_t pieceCount =
            (content.size() + portal::PieceLength - 1) / portal::PieceLength;
        ASSERT_EQ(pieces.size(), 20 * pieceCount);
        for (std::size_t i = 0; i < pieceCount; ++i)
            EXPECT_EQ(pieces.substr(20 * i, 20), portal::Sha1(std::string_view(content).substr(
                                                     i * portal::PieceLength, portal::PieceLength)))
                << "piece " << i;
    }
}

TEST(Catalogue, FindsHashesInEitherLetterCase) {
    const portal::Catalogue& catalogue = ShippedCatalogue();
    const portal::Torrent& first = catalogue.Torrents().front();
    std::string lower = first.infoHash;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(catalogue.Find(first.infoHash), &first);
    EXPECT_EQ(catalogue.Find(lower), &first);
    EXPECT_EQ(catalogue.Find(first.infoHash.substr(0, 39)), nullptr);
    EXPECT_EQ(catalogue.Find(""), nullptr);
}

TEST(Catalogue, SearchNeedsEveryWordInTitleNameOrHash) {
    const portal::Catalogue& catalogue = ShippedCatalogue();
    const std::string someHash = catalogue.Torrents().back().infoHash;
    const struct {
        std::string query;
        std::vector<std::string> names;
    } cases[] = {
        {"", {}}, // everything, checked below
        {"唐诗", {"tang-poems"}},
        {"诗", {"tang-poems", "sonnet-18.txt"}},
        {"诗 英文", {"sonnet-18.txt"}},
        {"诗\xE3\x80\x80英文", {"sonnet-18.txt"}}, // ideographic space
        {"GETTYSBURG", {"gettysburg-address.txt"}},
        {"  sonnet  ", {"sonnet-18.txt"}},
        {someHash, {catalogue.Torrents().back().name}},
        {"no such thing", {}},
        {"\xFF\xFE", {}},
    };
    for (const auto& [query, names] : cases) {
        SCOPED_TRACE(query);
        std::vector<std::string> found;
        for (const portal::Torrent* torrent : catalogue.Search(query))
            found.push_back(torrent->name);
        if (query.empty())
            EXPECT_EQ(found.size(), catalogue.Torrents().size());
        else
            EXPECT_EQ(found, names);
    }
}

class CatalogueLoadFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("portal-catalogue-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "samples" / "empty");
        std::ofstream(folder_ / "samples" / "a.txt") << "a";
        std::ofstream(folder_ / "a.txt") << "outside";
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string LoadError(const std::string& list) {
        std::ofstream(folder_ / "catalogue.tsv") << list;
        std::string error;
        EXPECT_FALSE(portal::Catalogue::Load(folder_, error));
        return error;
    }

    fs::path folder_;
};

TEST_F(CatalogueLoadFailure, ReportsEveryBrokenList) {
    const struct {
        std::string list;
        std::string reason;
    } cases[] = {
        {"# only a comment\n", "lists no samples"},
        {"a.txt\n", "expected a path"},
        {"a.txt\t\n", "expected a path"},
        {"../a.txt\tOutside\n", "expected a path"},
        {"/etc/hostname\tAbsolute\n", "expected a path"},
        {"missing.txt\tMissing\n", "no such sample"},
        {"empty\tEmpty folder\n", "holds no files"},
        {"a.txt\tOne\na.txt\tTwice\n", ":2: same torrent"},
    };
    for (const auto& [list, reason] : cases) {
        SCOPED_TRACE(list);
        EXPECT_NE(LoadError(list).find(reason), std::string::npos) << LoadError(list);
    }
    fs::remove(folder_ / "catalogue.tsv");
    std::string error;
    EXPECT_FALSE(portal::Catalogue::Load(folder_, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST_F(CatalogueLoadFailure, AcceptsWindowsLineEnds) {
    std::ofstream(folder_ / "catalogue.tsv") << "# comment\r\n\r\na.txt\tTitle\r\n";
    std::string error;
    const std::optional<portal::Catalogue> catalogue = portal::Catalogue::Load(folder_, error);
    ASSERT_TRUE(catalogue) << error;
    EXPECT_EQ(catalogue->Torrents().at(0).title, "Title");
}

} // namespace
