// The code tab's rows over random images: the disassembly tiles the image by the instruction
// table's sizes, every address finds the row that holds it, an address the CPU executes
// becomes a row of its own, and the mixed view is the disassembly with each line's source
// row above its first instruction.
#include <QtTest>
#include <random>

#include "UCodeListing.h"
#include "UInstructionSet.h"

using TMode = TCodeListing::TMode;
using TKind = TCodeListing::TKind;

class TCodeListingTest : public QObject {
    Q_OBJECT

    static std::vector<uint8_t> RandomImage(std::mt19937& rng, size_t size) {
        std::vector<uint8_t> image(size);
        // Mostly real top bytes, so that 4-, 8- and 24-byte instructions all occur.
        for (size_t i = 0; i < size; i += 4) {
            const uint32_t word =
                rng() % 4 ? uint32_t{roz::Instructions[rng() % roz::InstructionCount].TopByte} << 24 |
                                (rng() & 0x0F0F0F)
                          : static_cast<uint32_t>(rng());
            std::memcpy(image.data() + i, &word, std::min<size_t>(4, size - i));
        }
        return image;
    }

  private slots:
    void RandomImages() {
        std::mt19937 rng(7);
        for (int round = 0; round < 200; ++round) {
            const size_t size = 4 + rng() % 600;
            const std::vector<uint8_t> image = RandomImage(rng, size);
            TDebugInfo info;
            info.Sources = {"none.s"};
            info.Symbols.push_back({"start", {}, "label", 0, 8});
            for (uint64_t at = 0; at + 8 <= size; at += 8 + 4 * (rng() % 6))
                if (rng() % 2) info.Lines.push_back({at, at + 8, 0, static_cast<uint32_t>(at / 8 + 1), 1});
            TCodeListing listing;
            listing.SetDebugInfo(info, {{}});
            QVERIFY(listing.SetImage(image.data(), image.size()));
            QVERIFY(!listing.SetImage(image.data(), image.size())); // unchanged: nothing rebuilt
            const uint64_t entry = (rng() % (size - 3)) & ~uint64_t{3};
            listing.AddEntry(entry);

            uint64_t next = 0; // where the next instruction row must start
            for (int64_t row = 0; row < listing.RowCount(TMode::Disassembly); ++row) {
                const TCodeListing::TRow& r = listing.Row(TMode::Disassembly, row);
                if (r.Kind != TKind::Instruction) continue;
                QCOMPARE(r.Address, next);
                uint32_t word = 0;
                std::memcpy(&word, image.data() + r.Address, 4);
                const roz::TInstruction* instruction = roz::InstructionOfWord(word);
                const uint64_t own = instruction ? instruction->Size : roz::UnassignedAdvance(word >> 24) + 4;
                const int64_t following =
                    row + 1 < listing.RowCount(TMode::Disassembly)
                        ? static_cast<int64_t>(listing.Row(TMode::Disassembly, row + 1).Address)
                        : -1;
                // The last row ends with the image; a tail of less than a word is no row.
                next = following < 0 ? std::min<uint64_t>(size, r.Address + own)
                                     : static_cast<uint64_t>(following);
                QVERIFY(next - r.Address == own || next < r.Address + own); // cut short only by a restart
                if (following < 0) QVERIFY(size - next < 4);
                for (uint64_t a = r.Address; a < next; a += 3)
                    QCOMPARE(listing.RowOfAddress(TMode::Disassembly, a), row);
            }
            QCOMPARE(listing.Row(TMode::Disassembly, listing.RowOfAddress(TMode::Disassembly, entry)).Address,
                     entry);
            QCOMPARE(listing.Row(TMode::Disassembly, 0).Kind, TKind::Label);

            // Mixed: the disassembly's rows in order, each line's source row right above
            // its first instruction.
            int64_t plain = 0;
            for (int64_t row = 0; row < listing.RowCount(TMode::Mixed); ++row) {
                const TCodeListing::TRow& r = listing.Row(TMode::Mixed, row);
                if (r.Kind == TKind::SourceLine) {
                    QCOMPARE(info.Lines[r.Index].From, listing.Row(TMode::Mixed, row + 1).Address);
                    continue;
                }
                QCOMPARE(r.Address, listing.Row(TMode::Disassembly, plain++).Address);
            }
            QCOMPARE(plain, listing.RowCount(TMode::Disassembly));
        }
    }
};

QTEST_MAIN(TCodeListingTest)
#include "test_codelisting.moc"
