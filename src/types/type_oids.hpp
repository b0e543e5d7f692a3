// SPDX-License-Identifier: BSD-3-Clause
// type_oids.hpp - the OIDs of the PostgreSQL types the module knows, as the
// server's catalogue fixes them (pg_type.dat).  The only place in src/ that
// spells an OID: everything else names these constants or reads the
// type catalogue (type_catalogue.hpp).
#pragma once

#include <cstdint>

namespace vorlex {

// Base types.
constexpr uint32_t kBoolOid = 16;
constexpr uint32_t kByteaOid = 17;
constexpr uint32_t kNameOid = 19;
constexpr uint32_t kInt8Oid = 20;
constexpr uint32_t kInt2Oid = 21;
constexpr uint32_t kInt4Oid = 23;
constexpr uint32_t kTextOid = 25;
constexpr uint32_t kJsonOid = 114;
constexpr uint32_t kXmlOid = 142;
constexpr uint32_t kFloat4Oid = 700;
constexpr uint32_t kFloat8Oid = 701;
constexpr uint32_t kBpcharOid = 1042;
constexpr uint32_t kVarcharOid = 1043;
constexpr uint32_t kDateOid = 1082;
constexpr uint32_t kTimeOid = 1083;
constexpr uint32_t kTimestampOid = 1114;
constexpr uint32_t kTimestamptzOid = 1184;
constexpr uint32_t kTimetzOid = 1266;
constexpr uint32_t kNumericOid = 1700;

// Types read as their text (text_forms.hpp), and their array types.
constexpr uint32_t kCidrOid = 650;
constexpr uint32_t kMacaddr8Oid = 774;
constexpr uint32_t kMacaddrOid = 829;
constexpr uint32_t kInetOid = 869;
constexpr uint32_t kIntervalOid = 1186;
constexpr uint32_t kUuidOid = 2950;
constexpr uint32_t kJsonbOid = 3802;
constexpr uint32_t kCidrArrayOid = 651;
constexpr uint32_t kMacaddr8ArrayOid = 775;
constexpr uint32_t kMacaddrArrayOid = 1040;
constexpr uint32_t kInetArrayOid = 1041;
constexpr uint32_t kIntervalArrayOid = 1187;
constexpr uint32_t kUuidArrayOid = 2951;
constexpr uint32_t kJsonbArrayOid = 3807;

// Their array types.
constexpr uint32_t kXmlArrayOid = 143;
constexpr uint32_t kJsonArrayOid = 199;
constexpr uint32_t kBoolArrayOid = 1000;
constexpr uint32_t kByteaArrayOid = 1001;
constexpr uint32_t kNameArrayOid = 1003;
constexpr uint32_t kInt2ArrayOid = 1005;
constexpr uint32_t kInt4ArrayOid = 1007;
constexpr uint32_t kTextArrayOid = 1009;
constexpr uint32_t kBpcharArrayOid = 1014;
constexpr uint32_t kVarcharArrayOid = 1015;
constexpr uint32_t kInt8ArrayOid = 1016;
constexpr uint32_t kFloat4ArrayOid = 1021;
constexpr uint32_t kFloat8ArrayOid = 1022;
constexpr uint32_t kTimestampArrayOid = 1115;
constexpr uint32_t kDateArrayOid = 1182;
constexpr uint32_t kTimeArrayOid = 1183;
constexpr uint32_t kTimestamptzArrayOid = 1185;
constexpr uint32_t kNumericArrayOid = 1231;
constexpr uint32_t kTimetzArrayOid = 1270;

}  // namespace vorlex
