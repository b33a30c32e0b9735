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

/// Corner radii, from the largest.
namespace corner {
inline constexpr double dropTarget = 16;     // the window's drop target
inline constexpr double footer = 14;         // the delivery's footer panel
inline constexpr double card = 13;           // project cards and the overview's panels
inline constexpr double assetCard = 12;      // an asset's card on the project page
inline constexpr double fileCard = 11;       // a file's card in a delivery
inline constexpr double primaryButton = 11;  // the filled main action
inline constexpr double panel = 10;          // form sections, pictures, inbox rows
inline constexpr double preview = 9;         // a picture inside a card, the video, a source row
inline constexpr double button = 8;          // quiet buttons, sidebar rows, the search field
inline constexpr double control = 7;         // pickers, pull-downs, menu buttons, thumbnails
inline constexpr double badge = 6;           // a card's type badge
inline constexpr double chip = 5;            // pills, a picker's raised segment, a menu's hover
inline constexpr double mark = 4;            // small focus marks
inline constexpr double checkbox = 3.5;      // a check box's box
/// A focus ring drawn outside a shape, 1.5 beyond its edge.
inline constexpr double outerRing = 1.5;
}  // namespace corner

}  // namespace sorvik::app
