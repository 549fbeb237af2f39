// Fuzz target: the query receiver's parser on any bytes. The first input byte chooses how
// the rest arrives (all at once, or in pieces of that many bytes, each piece no longer than
// the parser says the query still needs, as the receive reads them). The parser may never
// take bytes past the query's end, must hold no more item memory than about twice what
// arrived, and must give everything back whether the query completes or not; a complete
// query goes through the host conversion against the reader tables.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "wirelay/query.h"
#include "wirelay/query_wire.h"
#include "wirelay/wrl_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::open_reader_tables();
    if (size == 0) return 0;
    const size_t piece = data[0] == 0 ? size : data[0];
    ++data;
    --size;
    unsigned long mallocs0 = 0, frees0 = 0;
    wrl_mallocstats_get(&mallocs0, &frees0);
    {
        wrl::QueryParser parser;
        size_t at = 0;
        size_t item_bytes = 0;  // bytes fed since the last completed item header, roughly
        while (at < size && !parser.Complete() && parser.Error() == 0) {
            const uint64_t need = parser.Need();
            if (need == 0) qm_fuzz::fail("nothing needed before completion");
            const size_t n = static_cast<size_t>(std::min<uint64_t>({need, piece, size - at}));
            const size_t took = parser.Feed(data + at, n);
            if (took != n) qm_fuzz::fail("took fewer bytes than it said it needed");
            at += took;
            item_bytes += took;
            if (parser.ItemCapacity() > 2 * item_bytes + 4096)
                qm_fuzz::fail("item memory ran ahead of the bytes that arrived");
        }
        if (parser.Complete()) {
            if (parser.Need() != 0) qm_fuzz::fail("a complete query still needs bytes");
            if (parser.Feed(data, size) != 0) qm_fuzz::fail("took bytes after completion");
            wrl_query* q = parser.Take();
            if (q == nullptr) qm_fuzz::fail("complete without a query");
            uint32_t count = 0;
            for (const wrl_query_item* i = q->first; i != nullptr; i = i->next) {
                ++count;
                if (i->data == nullptr) qm_fuzz::fail("an item without a buffer");
            }
            if (count != q->count) qm_fuzz::fail("count differs from the items");
            wrl_query_ntoh(q);
            wrl_query_free(q);
        }
    }
    unsigned long mallocs1 = 0, frees1 = 0;
    wrl_mallocstats_get(&mallocs1, &frees1);
    if (mallocs1 - mallocs0 != frees1 - frees0) qm_fuzz::fail("query allocations not given back");
    return 0;
}
