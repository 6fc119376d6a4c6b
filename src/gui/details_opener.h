#pragma once
// A row's details in their own window: opened from the list's menu, and
// following their row through a new run while they are shown.

#include <cstdint>

class QWidget;

namespace sonivate {

class FrmDetails;
class ListColumns;
class WindowChoices;
class WindowRows;
struct RowDetails;

class DetailsOpener {
public:
    DetailsOpener(const WindowRows& pRows, const ListColumns& pColumns, const WindowChoices& pChoices, QWidget* pOwner);
    DetailsOpener(const DetailsOpener&) = delete;
    DetailsOpener& operator=(const DetailsOpener&) = delete;

    // The details of row pRow (nothing outside the list).
    void Show(std::int32_t pRow);
    // Row pRow has a new outcome: details shown of its file are replaced.
    void Follow(std::int32_t pRow);
    // The details window (null before the first opening).
    FrmDetails* Details() const { return mDetails; }

private:
    RowDetails DetailsOf(std::int32_t pRow) const;

    const WindowRows& mRows;
    const ListColumns& mColumns;
    const WindowChoices& mChoices;
    QWidget* mOwner;
    FrmDetails* mDetails = nullptr;
};

}  // namespace sonivate
