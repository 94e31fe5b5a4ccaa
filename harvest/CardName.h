// CardName: the course name that a listing card shows, for naming a course
// whose detail page cannot be read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace teebasket {

// The longest card name taken, in bytes of the page (UTF-8); a longer text is
// not a course name.
inline constexpr std::size_t kMaxCardNameBytes = 1024;

// How much of a page, from the line of a card's heading to the end of its
// "</h2>", the heading may take; a longer one shows no name.
inline constexpr std::size_t kMaxCardHeadingBytes = 8 * 1024;

// The course name of a card heading (raw UTF-8: the page from the heading's
// line on, at least to its "</h2>"), as in
//   <h2 class="gf-card-name">
//   <a href="/guide/disp/c_id/120012/?rt=1">青葉カントリー倶楽部</a>
//   </h2>
// the text of the gf-card-name element from its opening tag to "</h2>", on
// one line or across several (the pieces of its lines joined by a blank),
// its tags removed (a link inside it included), character references
// (&amp;, &lt;, &gt;, &quot;, &#39;, &apos;, &nbsp;, &#NNN;, &#xHH;)
// resolved and blanks around it trimmed, as code-page-932 bytes. A link after
// the heading (詳細を見る) is not part of it. Empty when the heading holds no
// text, does not end within `heading`, or its text is longer than
// kMaxCardNameBytes.
std::string CutCardCourseName(std::string_view heading);

}  // namespace teebasket
