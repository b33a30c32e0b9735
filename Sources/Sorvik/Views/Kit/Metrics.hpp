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
// Stacked lines of one item: a title over its details.
inline constexpr int tightLines = 3;  // a compact row's title and detail
inline constexpr int labelGap = 4;    // a label and what it names, a header's nudge
inline constexpr int lines = 5;       // a title and its detail lines
// Side by side, from the closest.
inline constexpr int symbolGap = 6;   // a symbol and its text, a footer's items
inline constexpr int smallGap = 7;    // a dot or small button and its text
inline constexpr int related = 8;     // controls that belong together
inline constexpr int wordGap = 9;     // words of a notice, a flow's node texts
inline constexpr int item = 10;       // the items of a row, a column of controls
inline constexpr int listRows = 11;   // rows of a sheet's list
inline constexpr int group = 12;      // groups within a panel, cards in a row
inline constexpr int rows = 13;       // rows of a page's section
inline constexpr int buttonGap = 14;  // buttons of a bar, a brand mark and its texts
inline constexpr int cardGap = 15;    // a panel's symbol and its texts
inline constexpr int headerGap = 16;  // a page header's title and its actions
inline constexpr int block = 18;      // blocks of a sheet's panel, a centred state's lines
inline constexpr int formRows = 19;   // rows of the delivery rules' form
// Sections of a sheet or page.
inline constexpr int section = 20;           // the file and crop sheets
inline constexpr int sheetSections = 22;     // the source, template and history sheets
inline constexpr int pageBlocks = 23;        // the project page's header blocks, the name and aliases sheet
inline constexpr int wideSections = 24;      // the delivery sheets, the inbox page
inline constexpr int overviewSections = 25;  // the overview and its source flow
inline constexpr int deliveryBlocks = 26;    // the blocks of a delivery page
// Margins.
inline constexpr int insetRow = 4;            // a row set in from its panel
inline constexpr int compactPadding = 8;      // a small floating panel
inline constexpr int nodePadding = 10;        // a source row of the flow
inline constexpr int panelPadding = 12;       // a panel or list row
inline constexpr int insetPadding = 14;       // a form section, an inset
inline constexpr int flowNodePadding = 17;    // the flow's node
inline constexpr int barPadding = 18;         // a toolbar's header
inline constexpr int sourcesDivider = 16;     // above and below the sidebar's lower divider
inline constexpr int navigationDivider = 19;  // above and below the divider under the navigation
inline constexpr int cardPadding = 20;        // a card's content
inline constexpr int sidebarRowInset = 20;    // the sidebar's restore and language rows
inline constexpr int sidebarInset = 22;       // the sidebar's headers and footer
inline constexpr int notePadding = 24;        // a large note
inline constexpr int brandBottom = 26;        // under the sidebar's brand
inline constexpr int deliveryTop = 28;        // above a delivery page's blocks
inline constexpr int wideMargin = 28;         // the delivery rules sheet, the toolbar's sides
inline constexpr int sheetMargin = 30;        // around a sheet's content
inline constexpr int pageMargin = 30;         // around a page's content, left and right of its bars
inline constexpr int emptyPadding = 35;       // an empty list's message
inline constexpr int brandTop = 36;           // above the sidebar's brand
inline constexpr int emptyPageMargin = 60;    // an empty page's message
inline constexpr int emptyStateMargin = 64;   // the overview's empty state, above and below
inline constexpr int missingMargin = 65;      // a missing project's message
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
