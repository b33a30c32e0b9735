#pragma once
// The app's layout numbers, named once: type sizes, spacing and margins, corner radii. All in
// logical pixels.

namespace sorvik::app {

/// Type sizes, from the smallest.
namespace type {
inline constexpr int fine = 9;          // taglines, footers, paths under a row
inline constexpr int caption = 10;      // badges, counts, details beside a value
inline constexpr int footnote = 11;     // notes, links and small buttons
inline constexpr int body = 12;         // running text and controls
inline constexpr int callout = 13;      // row titles, section heads, the settings
inline constexpr int subheadline = 14;  // the version in the settings
inline constexpr int headline = 15;     // page subtitles, the toolbar's title
inline constexpr int title3 = 17;       // titles of panels and the drop target
inline constexpr int title2 = 19;       // a project card's name
inline constexpr int title1 = 20;       // the product name, empty states
inline constexpr int sheetTitle = 23;   // a sheet's header
inline constexpr int pageTitle = 30;    // a project page's and the inbox's title
inline constexpr int heroTitle = 31;    // the overview's headline, a delivery's title
}  // namespace type

/// Margins and spacing.
namespace space {
inline constexpr int sheetMargin = 30;  // around a sheet's content
inline constexpr int pageMargin = 30;   // around a page's content, left and right of its bars
}  // namespace space

}  // namespace sorvik::app
