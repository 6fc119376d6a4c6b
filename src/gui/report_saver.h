#pragma once
// The report of the list (PDF, HTML or CSV by its name's extension): asked
// for with the dialog service, built from the rows as values, drawn and
// written off the window's thread, and told when written. The report is in
// the window's language; the header's station fields come from the
// settings ReportOperator, ReportStation, ReportProgramme, ReportClient and
// ReportNotes.

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace sonivate {

class ListColumns;
class RunExecutor;
class WindowChoices;
class WindowRows;
namespace report {
struct BatchReport;
}

// Where the save dialog opens: the output folder when it exists, else the
// folder of the first row's source ("" when the list is empty).
std::string ReportStartFolder(const std::string& pOutputFolder, const std::string& pFirstSource);
// The name it offers for a date: "sonivate-report-YYYY-MM-DD.pdf".
std::string ReportFileName(int pYear, int pMonth, int pDay);

class ReportSaver {
public:
    // pRunning answers whether a run is in progress; pShowStatus shows a
    // status text; pSaved follows every report written (pOk) or failed.
    ReportSaver(const WindowRows& pRows, const ListColumns& pColumns, const WindowChoices& pChoices,
                RunExecutor& pExecutor, std::function<bool()> pRunning,
                std::function<void(const std::string&)> pShowStatus,
                std::function<void(bool pOk, const std::string& pPath)> pSaved, QWidget* pOwner);
    ReportSaver(const ReportSaver&) = delete;
    ReportSaver& operator=(const ReportSaver&) = delete;

    // A report is being written.
    bool Pending() const { return mPending; }
    // Asks for a file name and writes the report there.
    void Save();
    // The same without asking; false when refused (a run, an empty list, a
    // report still being written).
    bool SaveTo(const std::string& pPath);
    // The station's fields edited in a form (the dialog service's) and
    // stored; false when cancelled.
    bool EditFields();

private:
    report::BatchReport Build() const;
    void Written(const std::string& pPath, bool pOk, int pErrno);

    const WindowRows& mRows;
    const ListColumns& mColumns;
    const WindowChoices& mChoices;
    RunExecutor& mExecutor;
    std::function<bool()> mRunning;
    std::function<void(const std::string&)> mShowStatus;
    std::function<void(bool, const std::string&)> mSaved;
    QWidget* mOwner;
    bool mPending = false;
};

}  // namespace sonivate
