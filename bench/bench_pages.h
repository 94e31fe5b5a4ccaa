// Realistic pages for the benchmarks, built in memory so that the figures do
// not depend on a file or a server.
#pragma once

#include <cstddef>
#include <string>

namespace teebasket::bench {

// About `bytes` of Japanese portal HTML in UTF-8, LF line ends: cards,
// facility sections, addresses with full-width digits, scripts.
std::string JapaneseHtmlPage(std::size_t bytes);

// About `bytes` of running Japanese text in UTF-8 (course names, addresses,
// facility facts) with the few ASCII digits and blanks such text holds, and
// no markup.
std::string JapaneseText(std::size_t bytes);

}  // namespace teebasket::bench
