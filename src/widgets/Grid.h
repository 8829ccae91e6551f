#pragma once

#include "NamedError.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace talvor {

// A fixed rows x cols block of object slots, row-major, used to lay out months. Slots start
// empty (a default-constructed T: nullptr for pointers). Indexes out of range throw the
// NamedError "OutOfBounds"; grids of unequal sides cannot be joined ("InvalidSizes").
template <class T>
class Grid {
  public:
    Grid() = default;
    // `initWithRows:cols:`; negative sides count as 0.
    Grid(std::int32_t rows, std::int32_t cols)
        : numRows_(std::max<std::int32_t>(rows, 0)),
          numCols_(std::max<std::int32_t>(cols, 0)),
          gridObjects_(static_cast<std::size_t>(numRows_) * static_cast<std::size_t>(numCols_)) {}

    // The most nearly square (larger, smaller) sides for `count` items, 1...20.
    static std::optional<std::pair<std::int32_t, std::int32_t>> bestSquare(std::int32_t count) {
        static constexpr std::pair<std::int32_t, std::int32_t> kTable[] = {
            {1, 1},  {2, 1}, {3, 1},  {2, 2}, {5, 1}, {3, 2}, {7, 1},  {4, 2}, {3, 3},  {5, 2},
            {11, 1}, {4, 3}, {13, 1}, {7, 2}, {5, 3}, {4, 4}, {17, 1}, {6, 3}, {19, 1}, {5, 4}};
        if (count < 1 || count > 20) {
            return std::nullopt;
        }
        return kTable[count - 1];
    }

    // A grid for `count` items (1...20): the larger side as rows when `preferWide`, else as
    // columns. No grid for other counts.
    static std::optional<Grid> initWithBestSquare(std::int32_t count, bool preferWide) {
        const auto sides = bestSquare(count);
        if (!sides) {
            return std::nullopt;
        }
        return preferWide ? Grid(sides->first, sides->second) : Grid(sides->second, sides->first);
    }

    std::int32_t numRows() const { return numRows_; }
    std::int32_t numCols() const { return numCols_; }

    void setObject(T object, std::int32_t row, std::int32_t col) {
        gridObjects_[slot(row, col)] = std::move(object);
    }
    const T& objectAtRow(std::int32_t row, std::int32_t col) const {
        return gridObjects_[slot(row, col)];
    }

    // The first rows x cols objects, in row-major order.
    void fillWithArray(const std::vector<T>& objects) {
        const std::size_t n = std::min(objects.size(), gridObjects_.size());
        for (std::size_t i = 0; i < n; ++i) {
            gridObjects_[i] = objects[i];
        }
    }

    // Rows from the last down to 0 when `fromTop` (else from 0 up), and in each row the
    // columns from the last when `fromRight` (else from 0), until the objects run out.
    void fillWithArray(const std::vector<T>& objects, bool fromTop, bool fromRight) {
        std::size_t next = 0;
        for (std::int32_t i = 0; i < numRows_ && next < objects.size(); ++i) {
            const std::int32_t row = fromTop ? numRows_ - 1 - i : i;
            for (std::int32_t j = 0; j < numCols_ && next < objects.size(); ++j) {
                const std::int32_t col = fromRight ? numCols_ - 1 - j : j;
                setObject(objects[next++], row, col);
            }
        }
    }

    // A new grid joining this one and `other`: 1 puts `other` after the last column (the row
    // counts must match), 4 after the last row (the column counts must match); 2 and 3 are 1
    // and 4 with `other` first. The "InvalidSizes" reason names the first grid's count first.
    // No grid for other positions.
    std::optional<Grid> gridByAddingGrid(const Grid& other, std::int32_t position) const {
        switch (position) {
            case 1:
                if (numRows_ != other.numRows_) {
                    throw sizesDiffer(numRows_, other.numRows_);
                }
                return joined(other, 0, numCols_, numRows_, numCols_ + other.numCols_);
            case 4:
                if (numCols_ != other.numCols_) {
                    throw sizesDiffer(numCols_, other.numCols_);
                }
                return joined(other, numRows_, 0, numRows_ + other.numRows_, numCols_);
            case 2:
                return other.gridByAddingGrid(*this, 1);
            case 3:
                return other.gridByAddingGrid(*this, 4);
            default:
                return std::nullopt;
        }
    }

    // Kept for completeness: a grid does not hand out its rows or columns.
    std::optional<std::vector<T>> objectsInRow(std::int32_t) const { return std::nullopt; }
    std::optional<std::vector<T>> objectsInCol(std::int32_t) const { return std::nullopt; }

  private:
    std::size_t slot(std::int32_t row, std::int32_t col) const {
        if (row < 0 || row >= numRows_ || col < 0 || col >= numCols_) {
            throw NamedError(QStringLiteral("OutOfBounds"),
                             QStringLiteral("Index %1, %2 out of bounds").arg(row).arg(col));
        }
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(numCols_) +
               static_cast<std::size_t>(col);
    }
    static NamedError sizesDiffer(std::int32_t own, std::int32_t other) {
        return NamedError(
            QStringLiteral("InvalidSizes"),
            QStringLiteral("Sizes of grids don't match: %1 != %2").arg(own).arg(other));
    }
    Grid joined(const Grid& other, std::int32_t rowOffset, std::int32_t colOffset,
                std::int32_t rows, std::int32_t cols) const {
        Grid result(rows, cols);
        for (std::int32_t r = 0; r < numRows_; ++r) {
            for (std::int32_t c = 0; c < numCols_; ++c) {
                result.setObject(objectAtRow(r, c), r, c);
            }
        }
        for (std::int32_t r = 0; r < other.numRows_; ++r) {
            for (std::int32_t c = 0; c < other.numCols_; ++c) {
                result.setObject(other.objectAtRow(r, c), r + rowOffset, c + colOffset);
            }
        }
        return result;
    }

    std::int32_t numRows_ = 0;
    std::int32_t numCols_ = 0;
    std::vector<T> gridObjects_;
};

}  // namespace talvor
