// Internal workers of the records family shared by the record, dump and reader
// files: block layout of a curve record, validity checks of records before they are
// written, and the dump writer with its optional byte images.
#ifndef KNOTWORK_RECORDS_RECORDS_HPP
#define KNOTWORK_RECORDS_RECORDS_HPP

#ifndef KNOTWORK_INTERNAL
#error "records.hpp is internal to the library; include knotwork.h instead"
#endif

#include <cstdint>
#include <cstdio>

#include "knotwork.h"

namespace knotwork {

// Largest pole count of a curve record that the dump accepts.
inline constexpr int32_t kMaxCurvePoles = 1000000;
// Largest number of boundary pairs or loops of a record.
inline constexpr int32_t kMaxBoundaries = 10000;

// Bytes of the single block that holds a curve record and its arrays; -1 when the
// sizes are negative or the block would exceed what BSdbgalloc can hand out.
int64_t curve_block_size(int32_t order, int32_t num_poles, bool rational, int32_t num_boundaries);

// Copies header fields and arrays of source into target (arrays provided by the
// caller and large enough); boundaries are never copied. Returns the status.
BSrc copy_curve_into(const BScurve &source, BScurve &target);

// Copies the header fields the copy carries over (order, flags, counts); boundaries
// are never copied: the target's are cleared.
void copy_curve_header(const BScurve &source, BScurve &target);

// Record checks made before a record is written as text.
bool curve_is_printable(const BScurve *curve);
bool surface_is_printable(const BSsurface *surface);

// Writes the curve dump. With images, every number is followed by its byte image
// and the dump carries the marker that makes BSreadcv take the images; images are
// only written unlabelled. Returns false (after writing the invalid-record message)
// when the record fails the check.
bool write_curve_dump(FILE *stream, const char *name, const BScurve *curve, bool labelled,
                      bool images);

// The word after "HEX" that marks byte images in this machine's byte order ("nt"
// on little-endian machines); images under any other word are skipped on reading.
const char *image_order_word();

}  // namespace knotwork

#endif  // KNOTWORK_RECORDS_RECORDS_HPP
