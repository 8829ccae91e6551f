#pragma once

#include <QImage>

// The header sort arrows of tables, as pictures (for a column that shows its own).
namespace talvor::TalvorUtil {

// The arrow the style draws for an ascending / descending column (as QHeaderView draws
// them), 9 x 9 points; a null image when the style draws none.
QImage ascendingSortIndicator();
QImage descendingSortIndicator();

}  // namespace talvor::TalvorUtil
