/// The page's files, built into the program (EmbedPage.cmake writes them from
/// devhost/live/page/ and uPlot's distribution files), so the program serves
/// the page without the network and without files beside it.
#pragma once

#include <cstddef>

namespace zorvahost {
namespace live {

struct PageFile
{
    const char* path; ///< "/", "/live.js"
    const char* type; ///< its Content-Type
    const unsigned char* data;
    std::size_t size;
};

/// Every file the server serves, and nothing else; `count` gets their number.
const PageFile* PageFiles(std::size_t& count);

} // namespace live
} // namespace zorvahost
