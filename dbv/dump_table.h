// One table of the current virtual database as readable text, and back. A block is
//     Table <name> -------------------------------------
//     {
//       row                       (or "row" + save-action label + time label)
//       {
//           <int field> = 12
//           <float or double field> = 1.500000
//           <text field> = 'text without control characters'
//           <byte field> = '1:0:0:255'
//           <id field with labels> = '12/<guid text>'
//       }
//       rows 3 - 5 not written    (when a maximum row count held rows back)
//     }
// The reader takes the plain form: integers in decimal, texts between single quotes,
// byte fields as Base64 between single quotes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dbv/common_export.h"
#include "outside/store_domain.h"
#include "outside/time_id_mapping.h"

namespace dbv {

class COMMON_EXPORT DumpTable_c {
  public:
    using DomainIdFormatFunc = std::function<std::string(int32_t id, const std::string& timeText)>;
    using ProgressCallback = std::function<bool(int32_t percent, const std::string& text)>;

    DumpTable_c();
    virtual ~DumpTable_c();

    // Row labels: each row header carries the row's save action against `event` (work mode
    // 5 only) and its creation and modification times in `domain`. Id labels: integer
    // fields that hold ids of the domain are written as '<id>/<time text>' (with the old
    // time text of `mapping` in between when one is given).
    void SetDbvGuidWriting(bool rowLabels, bool idLabels, dbv_domain_s* domain,
                           dbv_timeidmapping_s* mapping, dbv_event_s* event);
    // Appends `mark` to the time text of every time id causally after the event time id.
    void SetGuidMarkByEvent(const std::string& mark, int32_t eventTimeId);
    void SetDomainIdFormatFunc(DomainIdFormatFunc func);
    // Rows after this many are counted but not written; negative: no limit.
    void SetMaxTableRowCount(int32_t maxRows);
    void SetLogInfoOutput(bool on);
    // Asked with (-1, "<table name> <rows so far>") every 10 rows up to 1000, every 100 up
    // to 10000, and so on up to every 10000; false stops the table there.
    void SetProgressCallback(ProgressCallback callback);

    // Writes the table's block in `workMode` (the store's mode is restored afterwards).
    // True also for a missing table (one notice line) and a null stream; false when a
    // field has a type the dump does not know.
    bool Write(int32_t table, FILE* file, int32_t workMode);

    // Reads one block's rows, the stream standing just behind its title line. Rows go into
    // `table` (dbv_insert), or, when it is `primaryTable`, replace that table's row through
    // its primary index. `row` is the row buffer, grown to the table's row length when
    // shorter; a field missing from a row keeps the buffer's value. False on a missing table
    // or stream, an early end of file (the half-read row is not stored), a bad value or a
    // refused insert or update; rows stored before stay.
    bool Read(int32_t table, FILE* file, int32_t primaryTable, std::vector<uint8_t>& row);

  private:
    std::string TimeText(int32_t timeId) const;
    std::string IdLabel(int32_t id) const;

    bool writeRowLabels_ = false;
    bool writeIdLabels_ = false;
    dbv_domain_s* domain_ = nullptr;
    dbv_timeidmapping_s* timeIdMapping_ = nullptr;
    dbv_event_s* event_ = nullptr;
    int32_t maxRows_ = -1;
    bool logInfoOutput_ = true;
    std::vector<std::pair<std::string, int32_t>> guidMarks_;
    DomainIdFormatFunc domainIdFormat_;
    ProgressCallback progress_;
    int32_t smallIdLimit_ = 0;  // of the table being written
};

}  // namespace dbv
