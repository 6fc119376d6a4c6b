#pragma once
// A run's rows as the batch report shows them: the figures of the source and
// of the copy at the applied gain, the verdicts, the outcome, the loudness
// over time and the markers. The command line's --report and the window's
// saved report (and its details of a row) are filled here, so that both
// hand over the same record.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/batch_rows.h"
#include "app/delivery_profile.h"
#include "app/measurement_run.h"
#include "report/batch_report.h"

namespace sonivate {

// The text of a reason for the face's operator, with the cause of a failed
// write (pError, an errno) when there is one.
using ReasonTexter = std::function<std::string(RowReason pReason, int pError)>;

// The report's row for pRow. pResult: what the run made of it (nullptr: not
// processed; pUnprocessed then gives the reason). pProfile: the delivery
// profile judged against (nullptr: none). The markers are the result's
// (ProcessRow reads them when the run keeps the series): nothing here reads
// a file, so the window may call it on its own thread.
report::FileRow ReportRow(const BatchRow& pRow, const RowResult* pResult, const DeliveryProfile* pProfile,
                          RowReason pUnprocessed, const ReasonTexter& pReasonText);

// The figures of a measured row at a gain of pShift dB (0: the source), with
// pLKFS as its integrated loudness.
report::Figures ReportFigures(const RowResult& pResult, double pShift, std::optional<double> pLKFS);

// The verdict on the copy (pOutput) or on the source as the report shows it;
// no verdict when pVerdicts is empty.
report::FileVerdict ReportVerdict(const std::optional<FileVerdicts>& pVerdicts, bool pOutput);
// The profile's band and limit as the graph and the table show them.
report::ProfileBand ReportBand(const DeliveryProfile& pProfile);

// The broadcast markers (labels starting "BC$", upper-cased) among pMarkers.
std::vector<report::Marker> BroadcastMarkers(const std::vector<CueMarker>& pMarkers);

// The program's name as a report's header gives it before the version.
inline constexpr const char* kProgramName = "sonivate";

// The header of a report made now on this host: the local date with its
// zone, the host, "sonivate " + pProgramVersion, and the login's full name
// as the operator (the station's other fields empty).
report::BatchHeader ReportHeader(const std::string& pProgramVersion, const DeliveryProfile* pProfile,
                                 double pTargetLKFS, const std::string& pRangeChoices);

// The station's fields of a header by the keys the faces take them under
// (--report-field KEY=VALUE, the window's settings).
inline constexpr const char* kReportFieldOperator = "operator";
inline constexpr const char* kReportFieldStation = "station";
inline constexpr const char* kReportFieldProgramme = "programme";
inline constexpr const char* kReportFieldClient = "client";
inline constexpr const char* kReportFieldNotes = "notes";
// Sets the field pKey of pHeader to pValue; false for an unknown key.
bool SetReportField(report::BatchHeader& pHeader, const std::string& pKey, const std::string& pValue);

}  // namespace sonivate
