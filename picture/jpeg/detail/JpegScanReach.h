#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvelle {

// How far down a Huffman-coded image the data of its scans can reach. Every
// block coded costs at least one bit of its scan (a run of empty blocks in a
// progressive AC scan at most one bit a 32,767 blocks), and a restart
// interval with data only after as many restart markers as come before it,
// so the bytes a file holds bound the rows of MCUs in which a coefficient
// other than 0 can be: every block after them is empty in every component,
// whatever the header claims.
struct JpegScanReach {
    // Where the frame header's two bytes of the image height are.
    std::size_t heightOffset = 0;
    // Rows of MCUs from the top that the scans' data can reach, and rows of
    // MCUs the frame claims.
    std::int64_t mcuRowsReached = 0;
    std::int64_t mcuRowsClaimed = 0;
    // The image rows of one row of MCUs: 8 × the largest vertical sampling.
    int rowsPerMcuRow = 8;
};

// Reads the markers as the decoding library reads them. Nothing for a file
// whose structure it does not know to the end of its data: arithmetic
// coding (whose intervals can code a block in far less than a bit), a frame
// kind or marker the library does not take, components that do not match.
std::optional<JpegScanReach> ReachOfScans(const std::uint8_t* data, std::size_t size);

} // namespace orvelle
