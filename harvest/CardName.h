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

// The course name of a card's line (raw UTF-8), as in
// <a href="/guide/disp/c_id/120012/?rt=1">青葉カントリー倶楽部</a>: the text
// between the link's opening tag and "</a>", character references (&amp;,
// &lt;, &gt;, &quot;, &#39;, &apos;, &nbsp;, &#NNN;, &#xHH;) resolved and
// blanks around it trimmed, as code-page-932 bytes. Empty when the line holds
// no such text.
std::string CutCardCourseName(std::string_view line);

}  // namespace teebasket
