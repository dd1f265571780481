// The H3 grid: projections between the sphere and the icosahedron's face grids, the index encoding,
// and the hierarchy and traversal built on them. The numeric tables (base cells, face centres and
// axes, face neighbours, scale tables) are generated from base/h3/grid_constants.json.
#include "base/H3Core.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "H3Tables.inc"

namespace vela::h3 {
namespace {

// ---- Constants of the construction -------------------------------------------------------------------
constexpr double kEpsilon = 0.0000000000000001;
constexpr double kPi = 3.14159265358979323846;
constexpr double kPi2 = 6.28318530717958647692528676655900576839433;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kSqrt3_2 = 0.8660254037844386467637231707529361834714; // sin 60
constexpr double kRSin60 = 1.1547005383792515290182975610039149112953;  // 1 / sin 60
constexpr double kSqrt7 = 2.6457513110645905905016157536392604257102;
constexpr double kRSqrt7 = 0.37796447300922722721451653623418006081576;
// Rotation between Class II and Class III grids: asin(sqrt(3/28)).
constexpr double kAp7RotRads = 0.333473172251832115336090755351601070065900389;
// Gnomonic length of one resolution-0 grid unit (centre spacing on a face plane of unit sphere radius).
constexpr double kRes0UGnomonic = 0.38196601125010500003;
constexpr int kInvalidBaseCell = 127;
constexpr int kMaxFaceCoord = 2;
constexpr H3Index kH3Init = 35184372088831ULL; // all 15 digits 7, everything else 0

enum Digit : int {
  Center = 0,
  KAxes = 1,
  JAxes = 2,
  JKAxes = 3,
  IAxes = 4,
  IKAxes = 5,
  IJAxes = 6,
  InvalidDigit = 7
};
enum Quadrant : int { QCenter = 0, QIJ = 1, QKI = 2, QJK = 3 };
enum class Overage { None, FaceEdge, NewFace };

struct CoordIJK {
  int i, j, k;
};
struct FaceIJK {
  int face;
  CoordIJK coord;
};
struct Vec2d {
  double x, y;
};

constexpr CoordIJK kUnitVecs[7] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1},
                                   {1, 0, 0}, {1, 0, 1}, {1, 1, 0}};

// ---- Index bit fields ----------------------------------------------------------------------------------
constexpr H3Index setMode(H3Index h, int m) {
  return (h & ~(H3Index{0xF} << 59)) | (H3Index(m) << 59);
}
constexpr H3Index setResolution(H3Index h, int r) {
  return (h & ~(H3Index{0xF} << 52)) | (H3Index(r) << 52);
}
constexpr H3Index setBaseCell(H3Index h, int bc) {
  return (h & ~(H3Index{0x7F} << 45)) | (H3Index(bc) << 45);
}
constexpr H3Index setDigit(H3Index h, int r, int d) {
  const int shift = (kMaxRes - r) * 3;
  return (h & ~(H3Index{7} << shift)) | (H3Index(d) << shift);
}

// ---- IJK arithmetic --------------------------------------------------------------------------------------
void ijkNormalize(CoordIJK& c) {
  if (c.i < 0) {
    c.j -= c.i;
    c.k -= c.i;
    c.i = 0;
  }
  if (c.j < 0) {
    c.i -= c.j;
    c.k -= c.j;
    c.j = 0;
  }
  if (c.k < 0) {
    c.i -= c.k;
    c.j -= c.k;
    c.k = 0;
  }
  int m = std::min({c.i, c.j, c.k});
  if (m > 0) {
    c.i -= m;
    c.j -= m;
    c.k -= m;
  }
}
CoordIJK ijkAdd(const CoordIJK& a, const CoordIJK& b) {
  return {a.i + b.i, a.j + b.j, a.k + b.k};
}
CoordIJK ijkSub(const CoordIJK& a, const CoordIJK& b) {
  return {a.i - b.i, a.j - b.j, a.k - b.k};
}
CoordIJK ijkScale(const CoordIJK& a, int f) {
  return {a.i * f, a.j * f, a.k * f};
}

// A normalised unit vector has components 0 or 1 and reads as the digit's bits (i = 4, j = 2, k = 1).
int unitIjkToDigit(CoordIJK c) {
  ijkNormalize(c);
  if ((c.i | c.j | c.k) & ~1) {
    return InvalidDigit;
  }
  return c.i * 4 + c.j * 2 + c.k; // (1,1,1) never survives normalisation
}

// Linear maps given by the images of the i, j, k unit vectors.
void ijkLinear(CoordIJK& c, const CoordIJK& iv, const CoordIJK& jv, const CoordIJK& kv) {
  CoordIJK r = ijkAdd(ijkAdd(ijkScale(iv, c.i), ijkScale(jv, c.j)), ijkScale(kv, c.k));
  ijkNormalize(r);
  c = r;
}
// One resolution finer, counter-clockwise (into Class III) and clockwise (into Class II) aperture 7.
void downAp7(CoordIJK& c) {
  ijkLinear(c, {3, 0, 1}, {1, 3, 0}, {0, 1, 3});
}
void downAp7r(CoordIJK& c) {
  ijkLinear(c, {3, 1, 0}, {0, 3, 1}, {1, 0, 3});
}
// Aperture 3 substrate steps used to reach cell vertices.
void downAp3(CoordIJK& c) {
  ijkLinear(c, {2, 0, 1}, {1, 2, 0}, {0, 1, 2});
}
void downAp3r(CoordIJK& c) {
  ijkLinear(c, {2, 1, 0}, {0, 2, 1}, {1, 0, 2});
}
void ijkRotate60ccw(CoordIJK& c) {
  ijkLinear(c, {1, 1, 0}, {0, 1, 1}, {1, 0, 1});
}
void ijkRotate60cw(CoordIJK& c) {
  ijkLinear(c, {1, 0, 1}, {1, 1, 0}, {0, 1, 1});
}

// n / 7 rounded to nearest; a seventh never ends in exactly one half, so no tie rule is needed.
constexpr int roundDiv7(int n) {
  return n >= 0 ? (n + 3) / 7 : -((3 - n) / 7);
}
static_assert(roundDiv7(3) == 0 && roundDiv7(4) == 1 && roundDiv7(-3) == 0 && roundDiv7(-4) == -1 &&
              roundDiv7(10) == 1 && roundDiv7(11) == 2 && roundDiv7(-11) == -2);

// One resolution coarser: the parent cell containing c.
void upAp7(CoordIJK& c) {
  const int i = c.i - c.k;
  const int j = c.j - c.k;
  c.i = roundDiv7(3 * i - j);
  c.j = roundDiv7(i + 2 * j);
  c.k = 0;
  ijkNormalize(c);
}
void upAp7r(CoordIJK& c) {
  const int i = c.i - c.k;
  const int j = c.j - c.k;
  c.i = roundDiv7(2 * i + j);
  c.j = roundDiv7(3 * j - i);
  c.k = 0;
  ijkNormalize(c);
}

// The digit of a unit offset given in axial coordinates (i - k, j - k); 7 for anything else.
constexpr int axialDigit(int da, int db) {
  constexpr int kTable[9] = {KAxes, JKAxes, InvalidDigit, IKAxes, Center, JAxes, InvalidDigit, IAxes, IJAxes};
  return (da < -1 || da > 1 || db < -1 || db > 1) ? InvalidDigit : kTable[(da + 1) * 3 + (db + 1)];
}

constexpr bool axialDigitsMatchUnitVectors() {
  for (int d = 0; d < 7; ++d) {
    if (axialDigit(kUnitVecs[d].i - kUnitVecs[d].k, kUnitVecs[d].j - kUnitVecs[d].k) != d) {
      return false;
    }
  }
  return true;
}
static_assert(axialDigitsMatchUnitVectors());

void ijkNeighbor(CoordIJK& c, int digit) {
  if (digit > Center && digit < InvalidDigit) {
    c = ijkAdd(c, kUnitVecs[digit]);
    ijkNormalize(c);
  }
}

constexpr int rotate60ccw(int d) {
  switch (d) {
  case KAxes:
    return IKAxes;
  case IKAxes:
    return IAxes;
  case IAxes:
    return IJAxes;
  case IJAxes:
    return JAxes;
  case JAxes:
    return JKAxes;
  case JKAxes:
    return KAxes;
  default:
    return d;
  }
}
constexpr int rotate60cw(int d) {
  switch (d) {
  case KAxes:
    return JKAxes;
  case JKAxes:
    return JAxes;
  case JAxes:
    return IJAxes;
  case IJAxes:
    return IAxes;
  case IAxes:
    return IKAxes;
  case IKAxes:
    return KAxes;
  default:
    return d;
  }
}

// ---- Digit tables for neighbour traversal -----------------------------------------------------------------
// Moving from child digit `old` one step in direction `dir` lands on child digit kNewDigit[old][dir] of
// the parent's neighbour in direction kNewAdjust[old][dir] (0: same parent). Derived from the aperture-7
// geometry rather than tabulated: the child offset old + dir is mapped up to its parent and back.
struct DigitTables {
  int newDigit[2][7][7]; // [0]: the child resolution is Class II, [1]: Class III
  int newAdjust[2][7][7];
};
DigitTables makeDigitTables() {
  DigitTables t{};
  for (int cls = 0; cls < 2; ++cls) {
    for (int old = 0; old < 7; ++old) {
      for (int dir = 0; dir < 7; ++dir) {
        CoordIJK c = ijkAdd(kUnitVecs[old], kUnitVecs[dir]);
        ijkNormalize(c);
        CoordIJK parent = c;
        if (cls == 1) {
          upAp7(parent);
        } else {
          upAp7r(parent);
        }
        CoordIJK centre = parent;
        if (cls == 1) {
          downAp7(centre);
        } else {
          downAp7r(centre);
        }
        t.newDigit[cls][old][dir] = unitIjkToDigit(ijkSub(c, centre));
        t.newAdjust[cls][old][dir] = unitIjkToDigit(parent);
      }
    }
  }
  return t;
}
const DigitTables& digitTables() {
  static const DigitTables t = makeDigitTables();
  return t;
}

// ---- Base cells ------------------------------------------------------------------------------------------
FaceIJK baseCellHome(int bc) {
  const int* d = kBaseCellData[bc];
  return FaceIJK{d[0], {d[1], d[2], d[3]}};
}
bool baseCellIsCwOffset(int bc, int face) {
  return kBaseCellData[bc][5] == face || kBaseCellData[bc][6] == face;
}
bool isBaseCellPolarPentagon(int bc) {
  return bc == 4 || bc == 117;
}

int leadingNonZeroDigit(H3Index h) {
  const int res = getResolution(h);
  for (int r = 1; r <= res; ++r) {
    const int d = getIndexDigit(h, r);
    if (d != 0) {
      return d;
    }
  }
  return Center;
}

H3Index rotate60ccwIndex(H3Index h) {
  const int res = getResolution(h);
  for (int r = 1; r <= res; ++r) {
    h = setDigit(h, r, rotate60ccw(getIndexDigit(h, r)));
  }
  return h;
}
H3Index rotate60cwIndex(H3Index h) {
  const int res = getResolution(h);
  for (int r = 1; r <= res; ++r) {
    h = setDigit(h, r, rotate60cw(getIndexDigit(h, r)));
  }
  return h;
}
// Pentagon rotations skip the deleted K sub-sequence: when the leading digit lands on K, rotate once more.
H3Index rotatePent60ccw(H3Index h) {
  bool found = false;
  const int res = getResolution(h);
  for (int r = 1; r <= res; ++r) {
    h = setDigit(h, r, rotate60ccw(getIndexDigit(h, r)));
    if (!found && getIndexDigit(h, r) != 0) {
      found = true;
      if (leadingNonZeroDigit(h) == KAxes) {
        h = rotate60ccwIndex(h);
      }
    }
  }
  return h;
}

// ---- Sphere <-> face plane
// ----------------------------------------------------------------------------------
double posAngleRads(double rads) {
  double tmp = rads < 0.0 ? rads + kPi2 : rads;
  if (rads >= kPi2) {
    tmp -= kPi2;
  }
  return tmp;
}
double constrainLng(double lng) {
  if (std::fabs(lng) > 1e6) {
    lng = std::remainder(lng, 2 * kPi); // exact; stepping by 2 pi would not move a huge value
  }
  while (lng > kPi) {
    lng -= 2 * kPi;
  }
  while (lng < -kPi) {
    lng += 2 * kPi;
  }
  return lng;
}

struct FaceGeo {
  LatLng centre[kNumIcosaFaces];
};
const FaceGeo& faceGeo() {
  static const FaceGeo g = [] {
    FaceGeo f{};
    for (int i = 0; i < kNumIcosaFaces; ++i) {
      const double* p = kFaceCenterPoint[i];
      f.centre[i].lat = std::asin(std::clamp(p[2], -1.0, 1.0));
      f.centre[i].lng = std::atan2(p[1], p[0]);
    }
    return f;
  }();
  return g;
}

void geoAzDistanceRads(const LatLng& p1, double az, double distance, LatLng& p2) {
  if (distance < kEpsilon) {
    p2 = p1;
    return;
  }
  az = posAngleRads(az);
  if (az < kEpsilon || std::fabs(az - kPi) < kEpsilon) {
    // due north or south
    p2.lat = az < kEpsilon ? p1.lat + distance : p1.lat - distance;
    if (std::fabs(p2.lat - kHalfPi) < kEpsilon) {
      p2 = {kHalfPi, 0.0};
    } else if (std::fabs(p2.lat + kHalfPi) < kEpsilon) {
      p2 = {-kHalfPi, 0.0};
    } else {
      p2.lng = constrainLng(p1.lng);
    }
    return;
  }
  double sinlat =
      std::sin(p1.lat) * std::cos(distance) + std::cos(p1.lat) * std::sin(distance) * std::cos(az);
  sinlat = std::clamp(sinlat, -1.0, 1.0);
  p2.lat = std::asin(sinlat);
  if (std::fabs(p2.lat - kHalfPi) < kEpsilon) {
    p2 = {kHalfPi, 0.0};
  } else if (std::fabs(p2.lat + kHalfPi) < kEpsilon) {
    p2 = {-kHalfPi, 0.0};
  } else {
    const double invcosp2lat = 1.0 / std::cos(p2.lat);
    double sinlng = std::sin(az) * std::sin(distance) * invcosp2lat;
    double coslng =
        (std::cos(distance) - std::sin(p1.lat) * std::sin(p2.lat)) / std::cos(p1.lat) * invcosp2lat;
    sinlng = std::clamp(sinlng, -1.0, 1.0);
    coslng = std::clamp(coslng, -1.0, 1.0);
    p2.lng = constrainLng(p1.lng + std::atan2(sinlng, coslng));
  }
}

// Per face: the centre, the east and north unit vectors of the tangent plane at the centre, and the
// cosine and sine of the i axis' azimuth (index 0) and of that azimuth less the Class III rotation
// (index 1). Per resolution: the gnomonic scale, 7^(res/2) grid units per resolution-0 unit length.
struct FaceFrames {
  double c[kNumIcosaFaces][3];
  double east[kNumIcosaFaces][2];
  double north[kNumIcosaFaces][3];
  double cosAz[kNumIcosaFaces][2];
  double sinAz[kNumIcosaFaces][2];
  double scale[kMaxRes + 1];
};
const FaceFrames& faceFrames() {
  static const FaceFrames frames = [] {
    FaceFrames f{};
    for (int i = 0; i < kNumIcosaFaces; ++i) {
      const LatLng& g = faceGeo().centre[i];
      for (int a = 0; a < 3; ++a) {
        f.c[i][a] = kFaceCenterPoint[i][a];
      }
      f.east[i][0] = -std::sin(g.lng);
      f.east[i][1] = std::cos(g.lng);
      f.north[i][0] = -std::sin(g.lat) * std::cos(g.lng);
      f.north[i][1] = -std::sin(g.lat) * std::sin(g.lng);
      f.north[i][2] = std::cos(g.lat);
      for (int cls = 0; cls < 2; ++cls) {
        const double az = kFaceAxesAzRadsCII[i][0] - (cls == 1 ? kAp7RotRads : 0.0);
        f.cosAz[i][cls] = std::cos(az);
        f.sinAz[i][cls] = std::sin(az);
      }
    }
    double r = 1.0 / kRes0UGnomonic;
    for (int res = 0; res <= kMaxRes; ++res) {
      f.scale[res] = r;
      r *= kSqrt7;
    }
    return f;
  }();
  return frames;
}

// The point in the face plane: the gnomonic projection tan(d) along azimuth az from the face centre,
// with d the angle from the centre, expressed on the face's i axis (azimuth A) as (cos, sin)(A - az).
// With p the unit vector of the point, p.centre = cos d and the tangent-plane components
// (p.north, p.east) = sin d (cos az, sin az), so no angle is ever computed.
void geoToHex2d(const LatLng& g, int res, int& face, Vec2d& v) {
  const double cosLat = std::cos(g.lat);
  const double p[3] = {cosLat * std::cos(g.lng), cosLat * std::sin(g.lng), std::sin(g.lat)};
  const FaceFrames& f = faceFrames();
  face = 0;
  double sqd = 5.0;
  for (int i = 0; i < kNumIcosaFaces; ++i) {
    const double dx = f.c[i][0] - p[0], dy = f.c[i][1] - p[1], dz = f.c[i][2] - p[2];
    const double d = dx * dx + dy * dy + dz * dz;
    if (d < sqd) {
      face = i;
      sqd = d;
    }
  }
  if (sqd < kEpsilon * kEpsilon) {
    v = {0.0, 0.0};
    return;
  }
  const double dot = 1.0 - sqd / 2.0;
  const double north = p[0] * f.north[face][0] + p[1] * f.north[face][1] + p[2] * f.north[face][2];
  const double east = p[0] * f.east[face][0] + p[1] * f.east[face][1];
  const int cls = isResClassIII(res) ? 1 : 0;
  const double k = f.scale[res] / dot;
  v = {k * (f.cosAz[face][cls] * north + f.sinAz[face][cls] * east),
       k * (f.sinAz[face][cls] * north - f.cosAz[face][cls] * east)};
}

void hex2dToGeo(const Vec2d& v, int face, int res, bool substrate, LatLng& g) {
  double r = std::hypot(v.x, v.y);
  if (r < kEpsilon) {
    g = faceGeo().centre[face];
    return;
  }
  double theta = std::atan2(v.y, v.x);
  for (int i = 0; i < res; ++i) {
    r *= kRSqrt7;
  }
  if (substrate) {
    r /= 3.0;
    if (isResClassIII(res)) {
      r *= kRSqrt7;
    }
  }
  r = std::atan(r * kRes0UGnomonic);
  if (!substrate && isResClassIII(res)) {
    theta = posAngleRads(theta + kAp7RotRads);
  }
  theta = posAngleRads(kFaceAxesAzRadsCII[face][0] - theta);
  geoAzDistanceRads(faceGeo().centre[face], theta, r, g);
}

void hex2dToCoordIJK(const Vec2d& v, CoordIJK& h) {
  h.k = 0;
  const double a1 = std::fabs(v.x);
  const double a2 = std::fabs(v.y);
  const double x2 = a2 * kRSin60;
  const double x1 = a1 + x2 / 2.0;
  const int m1 = static_cast<int>(x1);
  const int m2 = static_cast<int>(x2);
  const double r1 = x1 - m1;
  const double r2 = x2 - m2;
  if (r1 < 0.5) {
    if (r1 < 1.0 / 3.0) {
      h.i = m1;
      h.j = r2 < (1.0 + r1) / 2.0 ? m2 : m2 + 1;
    } else {
      h.j = r2 < (1.0 - r1) ? m2 : m2 + 1;
      h.i = ((1.0 - r1) <= r2 && r2 < (2.0 * r1)) ? m1 + 1 : m1;
    }
  } else {
    if (r1 < 2.0 / 3.0) {
      h.j = r2 < (1.0 - r1) ? m2 : m2 + 1;
      h.i = ((2.0 * r1 - 1.0) < r2 && r2 < (1.0 - r1)) ? m1 : m1 + 1;
    } else {
      h.i = m1 + 1;
      h.j = r2 < (r1 / 2.0) ? m2 : m2 + 1;
    }
  }
  // fold across the axes if necessary
  if (v.x < 0.0) {
    if ((h.j % 2) == 0) {
      const int axisi = h.j / 2;
      const int diff = h.i - axisi;
      h.i = h.i - 2 * diff;
    } else {
      const int axisi = (h.j + 1) / 2;
      const int diff = h.i - axisi;
      h.i = h.i - (2 * diff + 1);
    }
  }
  if (v.y < 0.0) {
    h.i = h.i - (2 * h.j + 1) / 2;
    h.j = -h.j;
  }
  ijkNormalize(h);
}

Vec2d ijkToHex2d(const CoordIJK& h) {
  const int i = h.i - h.k;
  const int j = h.j - h.k;
  return {i - 0.5 * j, j * kSqrt3_2};
}

// ---- FaceIJK <-> index
// --------------------------------------------------------------------------------------
H3Index faceIjkToH3(const FaceIJK& fijk, int res) {
  H3Index h = setResolution(setMode(kH3Init, 1), res);
  if (res == 0) {
    const CoordIJK& c = fijk.coord;
    if (c.i > kMaxFaceCoord || c.j > kMaxFaceCoord || c.k > kMaxFaceCoord) {
      return 0;
    }
    return setBaseCell(h, kFaceIjkBaseCells[fijk.face][c.i][c.j][c.k][0]);
  }
  // Climb to resolution 0 in axial coordinates (a, b) = (i - k, j - k), where the aperture-7 maps are
  // linear and need no normalisation: the parent (rounded), its centre one level down, and the digit
  // of the offset from that centre.
  int a = fijk.coord.i - fijk.coord.k;
  int b = fijk.coord.j - fijk.coord.k;
  for (int r = res - 1; r >= 0; --r) {
    int pa, pb, ca, cb;
    if (isResClassIII(r + 1)) {
      pa = roundDiv7(3 * a - b);
      pb = roundDiv7(a + 2 * b);
      ca = 2 * pa + pb;
      cb = -pa + 3 * pb;
    } else {
      pa = roundDiv7(2 * a + b);
      pb = roundDiv7(3 * b - a);
      ca = 3 * pa - pb;
      cb = pa + 2 * pb;
    }
    h = setDigit(h, r + 1, axialDigit(a - ca, b - cb));
    a = pa;
    b = pb;
  }
  FaceIJK bc{fijk.face, {a, b, 0}};
  CoordIJK& ijk = bc.coord;
  ijkNormalize(ijk);
  if (ijk.i > kMaxFaceCoord || ijk.j > kMaxFaceCoord || ijk.k > kMaxFaceCoord) {
    return 0;
  }
  const int* entry = kFaceIjkBaseCells[bc.face][ijk.i][ijk.j][ijk.k];
  const int baseCell = entry[0];
  const int numRots = entry[1];
  h = setBaseCell(h, baseCell);
  if (isBaseCellPentagon(baseCell)) {
    // force rotation out of the deleted K sub-sequence
    if (leadingNonZeroDigit(h) == KAxes) {
      h = baseCellIsCwOffset(baseCell, bc.face) ? rotate60cwIndex(h) : rotate60ccwIndex(h);
    }
    for (int i = 0; i < numRots; ++i) {
      h = rotatePent60ccw(h);
    }
  } else {
    for (int i = 0; i < numRots; ++i) {
      h = rotate60ccwIndex(h);
    }
  }
  return h;
}

// Moves a Class II coordinate that has run past its face onto the neighbouring face. `substrate`: the
// coordinate is on the aperture-3 vertex substrate (3x finer), where landing exactly on the edge counts.
Overage adjustOverageClassII(FaceIJK& fijk, int res, bool pentLeading4, bool substrate) {
  Overage overage = Overage::None;
  CoordIJK& ijk = fijk.coord;
  int maxDim = kMaxDimByCIIres[res];
  if (substrate) {
    maxDim *= 3;
  }
  const int sum = ijk.i + ijk.j + ijk.k;
  if (substrate && sum == maxDim) {
    return Overage::FaceEdge;
  }
  if (sum > maxDim) {
    overage = Overage::NewFace;
    const int* orient;
    if (ijk.k > 0) {
      if (ijk.j > 0) {
        orient = kFaceNeighbors[fijk.face][QJK];
      } else {
        orient = kFaceNeighbors[fijk.face][QKI];
        if (pentLeading4) {
          // the pentagon's missing sequence: rotate about the pentagon's centre
          const CoordIJK origin{maxDim, 0, 0};
          CoordIJK tmp = ijkSub(ijk, origin);
          ijkRotate60cw(tmp);
          ijk = ijkAdd(tmp, origin);
        }
      }
    } else {
      orient = kFaceNeighbors[fijk.face][QIJ];
    }
    fijk.face = orient[0];
    for (int i = 0; i < orient[4]; ++i) {
      ijkRotate60ccw(ijk);
    }
    int unitScale = kUnitScaleByCIIres[res];
    if (substrate) {
      unitScale *= 3;
    }
    ijk = ijkAdd(ijk, ijkScale(CoordIJK{orient[1], orient[2], orient[3]}, unitScale));
    ijkNormalize(ijk);
    if (substrate && ijk.i + ijk.j + ijk.k == maxDim) {
      overage = Overage::FaceEdge;
    }
  }
  return overage;
}

Overage adjustPentVertOverage(FaceIJK& fijk, int res) {
  Overage o;
  do {
    o = adjustOverageClassII(fijk, res, false, true);
  } while (o == Overage::NewFace);
  return o;
}

// Walks the digits down from the base cell's home position; true when the result may lie off the face.
bool h3ToFaceIjkWithInitializedFijk(H3Index h, FaceIJK& fijk) {
  CoordIJK& ijk = fijk.coord;
  const int res = getResolution(h);
  bool possibleOverage = true;
  if (!isBaseCellPentagon(getBaseCellNumber(h)) && (res == 0 || (ijk.i == 0 && ijk.j == 0 && ijk.k == 0))) {
    possibleOverage = false;
  }
  for (int r = 1; r <= res; ++r) {
    if (isResClassIII(r)) {
      downAp7(ijk);
    } else {
      downAp7r(ijk);
    }
    ijkNeighbor(ijk, getIndexDigit(h, r));
  }
  return possibleOverage;
}

H3Error h3ToFaceIjk(H3Index h, FaceIJK& fijk) {
  const int baseCell = getBaseCellNumber(h);
  if (baseCell >= kNumBaseCells) {
    fijk = FaceIJK{0, {0, 0, 0}};
    return H3Error::CellInvalid;
  }
  if (isBaseCellPentagon(baseCell) && leadingNonZeroDigit(h) == IKAxes) {
    h = rotate60cwIndex(h);
  }
  fijk = baseCellHome(baseCell);
  if (!h3ToFaceIjkWithInitializedFijk(h, fijk)) {
    return H3Error::Success;
  }
  const CoordIJK origIJK = fijk.coord;
  int res = getResolution(h);
  if (isResClassIII(res)) {
    // drop into the next finer Class II grid
    downAp7r(fijk.coord);
    ++res;
  }
  const bool pentLeading4 = isBaseCellPentagon(baseCell) && leadingNonZeroDigit(h) == IAxes;
  if (adjustOverageClassII(fijk, res, pentLeading4, false) != Overage::None) {
    if (isBaseCellPentagon(baseCell)) {
      while (adjustOverageClassII(fijk, res, false, false) != Overage::None) {
      }
    }
    if (res != getResolution(h)) {
      upAp7r(fijk.coord);
    }
  } else if (res != getResolution(h)) {
    fijk.coord = origIJK;
  }
  return H3Error::Success;
}

// Cell vertices on the aperture-33r substrate of a Class II grid (res is bumped for Class III cells).
constexpr CoordIJK kVertsCII[6] = {{2, 1, 0}, {1, 2, 0}, {0, 2, 1}, {0, 1, 2}, {1, 0, 2}, {2, 0, 1}};
constexpr CoordIJK kVertsCIII[6] = {{5, 4, 0}, {1, 5, 0}, {0, 5, 4}, {0, 1, 5}, {4, 0, 5}, {5, 0, 1}};

void faceIjkToVerts(FaceIJK& fijk, int& res, FaceIJK* verts, int count) {
  const CoordIJK* v = isResClassIII(res) ? kVertsCIII : kVertsCII;
  downAp3(fijk.coord);
  downAp3r(fijk.coord);
  if (isResClassIII(res)) {
    downAp7r(fijk.coord);
    ++res;
  }
  for (int i = 0; i < count; ++i) {
    verts[i].face = fijk.face;
    verts[i].coord = ijkAdd(fijk.coord, v[i]);
    ijkNormalize(verts[i].coord);
  }
}

Vec2d v2dIntersect(const Vec2d& p0, const Vec2d& p1, const Vec2d& p2, const Vec2d& p3) {
  const Vec2d s1{p1.x - p0.x, p1.y - p0.y};
  const Vec2d s2{p3.x - p2.x, p3.y - p2.y};
  const double t = (s2.x * (p0.y - p2.y) - s2.y * (p0.x - p2.x)) / (-s2.x * s1.y + s1.x * s2.y);
  return {p0.x + (t * s1.x), p0.y + (t * s1.y)};
}
bool v2dAlmostEquals(const Vec2d& a, const Vec2d& b) {
  return std::fabs(a.x - b.x) < std::numeric_limits<float>::epsilon() &&
         std::fabs(a.y - b.y) < std::numeric_limits<float>::epsilon();
}

// The two face-triangle corners bounding the edge towards the adjacent face in quadrant `dir`.
void faceEdge(int dir, int maxDim, Vec2d& e0, Vec2d& e1) {
  const Vec2d v0{3.0 * maxDim, 0.0};
  const Vec2d v1{-1.5 * maxDim, 3.0 * kSqrt3_2 * maxDim};
  const Vec2d v2{-1.5 * maxDim, -3.0 * kSqrt3_2 * maxDim};
  switch (dir) {
  case QIJ:
    e0 = v0;
    e1 = v1;
    break;
  case QJK:
    e0 = v1;
    e1 = v2;
    break;
  default:
    e0 = v2;
    e1 = v0;
    break;
  }
}

void faceIjkToCellBoundary(const FaceIJK& h, int res, CellBoundary& g) {
  int adjRes = res;
  FaceIJK centre = h;
  FaceIJK verts[6];
  faceIjkToVerts(centre, adjRes, verts, 6);
  g.numVerts = 0;
  int lastFace = -1;
  Overage lastOverage = Overage::None;
  // one extra step to catch a crossing on the last edge
  for (int vert = 0; vert < 7; ++vert) {
    const int v = vert % 6;
    FaceIJK fijk = verts[v];
    const Overage overage = adjustOverageClassII(fijk, adjRes, false, true);
    // A Class III edge crossing an icosahedron edge gets an extra vertex at the crossing, so each half
    // is projected from its own face. Class II vertices lie on face edges; no crossing occurs there.
    if (isResClassIII(res) && vert > 0 && fijk.face != lastFace && lastOverage != Overage::FaceEdge) {
      const int lastV = (v + 5) % 6;
      const Vec2d orig0 = ijkToHex2d(verts[lastV].coord);
      const Vec2d orig1 = ijkToHex2d(verts[v].coord);
      const int face2 = lastFace == centre.face ? fijk.face : lastFace;
      Vec2d e0, e1;
      faceEdge(kAdjacentFaceDir[centre.face][face2], kMaxDimByCIIres[adjRes], e0, e1);
      const Vec2d inter = v2dIntersect(orig0, orig1, e0, e1);
      if (!v2dAlmostEquals(orig0, inter) && !v2dAlmostEquals(orig1, inter)) {
        hex2dToGeo(inter, centre.face, adjRes, true, g.verts[g.numVerts++]);
      }
    }
    if (vert < 6) {
      hex2dToGeo(ijkToHex2d(fijk.coord), fijk.face, adjRes, true, g.verts[g.numVerts++]);
    }
    lastFace = fijk.face;
    lastOverage = overage;
  }
}

void faceIjkPentToCellBoundary(const FaceIJK& h, int res, CellBoundary& g) {
  int adjRes = res;
  FaceIJK centre = h;
  FaceIJK verts[5];
  faceIjkToVerts(centre, adjRes, verts, 5);
  g.numVerts = 0;
  FaceIJK lastFijk{};
  for (int vert = 0; vert < 6; ++vert) {
    const int v = vert % 5;
    FaceIJK fijk = verts[v];
    adjustPentVertOverage(fijk, adjRes);
    // every Class III pentagon edge crosses an icosahedron edge
    if (isResClassIII(res) && vert > 0) {
      FaceIJK tmp = fijk;
      const Vec2d orig0 = ijkToHex2d(lastFijk.coord);
      const int dirToLast = kAdjacentFaceDir[tmp.face][lastFijk.face];
      const int* orient = kFaceNeighbors[tmp.face][dirToLast];
      tmp.face = orient[0];
      for (int i = 0; i < orient[4]; ++i) {
        ijkRotate60ccw(tmp.coord);
      }
      tmp.coord = ijkAdd(tmp.coord,
                         ijkScale(CoordIJK{orient[1], orient[2], orient[3]}, kUnitScaleByCIIres[adjRes] * 3));
      ijkNormalize(tmp.coord);
      const Vec2d orig1 = ijkToHex2d(tmp.coord);
      Vec2d e0, e1;
      faceEdge(kAdjacentFaceDir[tmp.face][fijk.face], kMaxDimByCIIres[adjRes], e0, e1);
      const Vec2d inter = v2dIntersect(orig0, orig1, e0, e1);
      hex2dToGeo(inter, tmp.face, adjRes, true, g.verts[g.numVerts++]);
    }
    if (vert < 5) {
      hex2dToGeo(ijkToHex2d(fijk.coord), fijk.face, adjRes, true, g.verts[g.numVerts++]);
    }
    lastFijk = fijk;
  }
}

std::int64_t ipow7(int n) {
  std::int64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r *= 7;
  }
  return r;
}
std::int64_t pentChildCount(int n) {
  return 1 + 5 * (ipow7(n) - 1) / 6;
}

} // namespace

// ---- Public API ------------------------------------------------------------------------------------------

namespace detail {
namespace {
constexpr std::uint64_t pentagonWord(int word) {
  std::uint64_t m = 0;
  for (int bc = 0; bc < kNumBaseCells; ++bc) {
    if ((bc >> 6) == word && kBaseCellData[bc][4] != 0) {
      m |= std::uint64_t{1} << (bc & 63);
    }
  }
  return m;
}
} // namespace
// Constant-initialised, so ready before any static constructor runs.
constinit const std::uint64_t kPentagonBaseCells[2] = {pentagonWord(0), pentagonWord(1)};
} // namespace detail

bool isPentagon(H3Index h) {
  return isBaseCellPentagon(getBaseCellNumber(h)) && leadingNonZeroDigit(h) == Center;
}

H3Error latLngToCell(const LatLng& g, int res, H3Index& out) {
  if (res < 0 || res > kMaxRes) {
    return H3Error::ResDomain;
  }
  if (!std::isfinite(g.lat) || !std::isfinite(g.lng)) {
    return H3Error::LatLngDomain;
  }
  FaceIJK fijk;
  Vec2d v;
  geoToHex2d(g, res, fijk.face, v);
  hex2dToCoordIJK(v, fijk.coord);
  const H3Index h = faceIjkToH3(fijk, res);
  if (h == 0) {
    return H3Error::Failed;
  }
  out = h;
  return H3Error::Success;
}

H3Error cellToLatLng(H3Index h, LatLng& out) {
  if (!isValidCell(h)) {
    return H3Error::CellInvalid;
  }
  FaceIJK fijk;
  h3ToFaceIjk(h, fijk);
  hex2dToGeo(ijkToHex2d(fijk.coord), fijk.face, getResolution(h), false, out);
  return H3Error::Success;
}

H3Error cellToBoundary(H3Index h, CellBoundary& out) {
  if (!isValidCell(h)) {
    return H3Error::CellInvalid;
  }
  FaceIJK fijk;
  h3ToFaceIjk(h, fijk);
  if (isPentagon(h)) {
    faceIjkPentToCellBoundary(fijk, getResolution(h), out);
  } else {
    faceIjkToCellBoundary(fijk, getResolution(h), out);
  }
  return H3Error::Success;
}

H3Error getIcosahedronFaces(H3Index h, int out[5], int& count) {
  if (!isValidCell(h)) {
    return H3Error::CellInvalid;
  }
  int res = getResolution(h);
  const bool pent = isPentagon(h);
  if (pent && !isResClassIII(res)) {
    // Class II pentagon vertices all lie on face edges; its centre child crosses the same faces.
    return getIcosahedronFaces(setDigit(setResolution(h, res + 1), res + 1, 0), out, count);
  }
  FaceIJK fijk;
  h3ToFaceIjk(h, fijk);
  FaceIJK verts[6];
  const int n = pent ? 5 : 6;
  faceIjkToVerts(fijk, res, verts, n);
  count = 0;
  for (int i = 0; i < n; ++i) {
    if (pent) {
      adjustPentVertOverage(verts[i], res);
    } else {
      adjustOverageClassII(verts[i], res, false, true);
    }
    const int face = verts[i].face;
    if (std::find(out, out + count, face) == out + count) {
      out[count++] = face;
    }
  }
  std::sort(out, out + count);
  return H3Error::Success;
}

namespace {
bool hasChildAtRes(H3Index h, int childRes) {
  return childRes >= getResolution(h) && childRes <= kMaxRes;
}
H3Index childWithDigits(H3Index h, int childRes, int digit) {
  H3Index c = setResolution(h, childRes);
  for (int r = getResolution(h) + 1; r <= childRes; ++r) {
    c = setDigit(c, r, digit);
  }
  return c;
}
} // namespace

H3Error cellToCenterChild(H3Index h, int childRes, H3Index& out) {
  if (!hasChildAtRes(h, childRes)) {
    return H3Error::ResDomain;
  }
  out = childWithDigits(h, childRes, Center);
  return H3Error::Success;
}

// The smallest child index is the all-zero (centre) one, pentagon or not.
H3Error cellToFirstChild(H3Index h, int childRes, H3Index& out) {
  return cellToCenterChild(h, childRes, out);
}

H3Error cellToLastChild(H3Index h, int childRes, H3Index& out) {
  if (!hasChildAtRes(h, childRes)) {
    return H3Error::ResDomain;
  }
  out = childWithDigits(h, childRes, IJAxes);
  return H3Error::Success;
}

H3Error cellToChildrenSize(H3Index h, int childRes, std::int64_t& out) {
  if (!hasChildAtRes(h, childRes)) {
    return H3Error::ResDomain;
  }
  const int n = childRes - getResolution(h);
  out = isPentagon(h) ? pentChildCount(n) : ipow7(n);
  return H3Error::Success;
}

H3Error cellToChildren(H3Index h, int childRes, ManagedBuffer<H3Index, 8>& out) {
  std::int64_t count = 0;
  if (const H3Error e = cellToChildrenSize(h, childRes, count); e != H3Error::Success) {
    return e;
  }
  out.resizeForOverwrite(static_cast<std::size_t>(count));
  const int parentRes = getResolution(h);
  const bool pent = isPentagon(h);
  // Odometer over the new digits, least significant last; a pentagon's children skip digit 1 while
  // every digit above is still 0 (that sub-sequence does not exist).
  H3Index c = childWithDigits(h, childRes, Center);
  std::size_t n = 0;
  while (true) {
    out[n++] = c;
    int r = childRes;
    for (; r > parentRes; --r) {
      int d = getIndexDigit(c, r) + 1;
      if (d == KAxes && pent) {
        bool prefixZero = true;
        for (int q = parentRes + 1; q < r; ++q) {
          prefixZero = prefixZero && getIndexDigit(c, q) == 0;
        }
        if (prefixZero) {
          d = JAxes;
        }
      }
      if (d < InvalidDigit) {
        c = setDigit(c, r, d);
        break;
      }
      c = setDigit(c, r, Center);
    }
    if (r == parentRes) {
      break;
    }
  }
  return n == out.size() ? H3Error::Success : H3Error::Failed;
}

H3Error cellToChildPos(H3Index child, int parentRes, std::int64_t& out) {
  const int childRes = getResolution(child);
  H3Index parent;
  if (const H3Error e = cellToParent(child, parentRes, parent); e != H3Error::Success) {
    return e;
  }
  std::int64_t pos = 0;
  if (isPentagon(parent)) {
    for (int res = childRes; res > parentRes; --res) {
      H3Index p = 0;
      cellToParent(child, res - 1, p);
      const bool parentIsPent = isPentagon(p);
      const int raw = getIndexDigit(child, res);
      if (raw == InvalidDigit || (parentIsPent && raw == KAxes)) {
        return H3Error::CellInvalid;
      }
      const int digit = parentIsPent && raw > 0 ? raw - 1 : raw;
      if (digit != Center) {
        const std::int64_t hexCount = ipow7(childRes - res);
        // the centre slot of a pentagon holds a pentagon's (smaller) family
        pos += (parentIsPent ? pentChildCount(childRes - res) : hexCount) + (digit - 1) * hexCount;
      }
    }
  } else {
    for (int res = childRes; res > parentRes; --res) {
      const int digit = getIndexDigit(child, res);
      if (digit == InvalidDigit) {
        return H3Error::CellInvalid;
      }
      pos += digit * ipow7(childRes - res);
    }
  }
  out = pos;
  return H3Error::Success;
}

H3Error childPosToCell(std::int64_t pos, H3Index parent, int childRes, H3Index& out) {
  if (childRes < 0 || childRes > kMaxRes) {
    return H3Error::ResDomain;
  }
  const int parentRes = getResolution(parent);
  if (childRes < parentRes) {
    return H3Error::ResMismatch;
  }
  const int offset = childRes - parentRes;
  H3Index child = setResolution(parent, childRes);
  if (offset == 0) {
    if (pos != 0) {
      return H3Error::Domain;
    }
    out = child;
    return H3Error::Success;
  }
  std::int64_t maxCount = 0;
  cellToChildrenSize(parent, childRes, maxCount);
  if (pos < 0 || pos >= maxCount) {
    return H3Error::Domain;
  }
  std::int64_t idx = pos;
  bool inPent = isPentagon(parent);
  for (int res = 1; res <= offset; ++res) {
    const std::int64_t width = ipow7(offset - res);
    if (inPent) {
      const std::int64_t pentWidth = pentChildCount(offset - res);
      if (idx < pentWidth) {
        child = setDigit(child, parentRes + res, 0);
      } else {
        idx -= pentWidth;
        inPent = false;
        child = setDigit(child, parentRes + res, static_cast<int>(idx / width) + 2);
        idx %= width;
      }
    } else {
      child = setDigit(child, parentRes + res, static_cast<int>(idx / width));
      idx %= width;
    }
  }
  out = child;
  return H3Error::Success;
}

// ---- Traversal ------------------------------------------------------------------------------------------

H3Error maxGridDiskSize(int k, std::int64_t& out) {
  if (k < 0) {
    return H3Error::Domain;
  }
  if (k >= kMaxGridDiskK) {
    out = 2 + 120 * ipow7(kMaxRes); // every resolution-15 cell
    return H3Error::Success;
  }
  out = 3 * static_cast<std::int64_t>(k) * (k + 1) + 1;
  return H3Error::Success;
}

H3Error h3NeighborRotations(H3Index origin, int dir, int& rotations, H3Index& out) {
  H3Index current = origin;
  if (dir < Center || dir >= InvalidDigit) {
    return H3Error::Failed;
  }
  rotations = rotations % 6;
  for (int i = 0; i < rotations; ++i) {
    dir = rotate60ccw(dir);
  }
  int newRotations = 0;
  const int oldBaseCell = getBaseCellNumber(current);
  if (oldBaseCell >= kNumBaseCells) {
    return H3Error::CellInvalid;
  }
  const int oldLeadingDigit = leadingNonZeroDigit(current);
  const DigitTables& t = digitTables();
  // adjust the digits from the finest up, carrying into the base cell when needed
  int r = getResolution(current) - 1;
  while (true) {
    if (r == -1) {
      int nbc = kBaseCellNeighbors[oldBaseCell][dir];
      newRotations = kBaseCellNeighbor60CCWRots[oldBaseCell][dir];
      if (nbc == kInvalidBaseCell) {
        // the deleted K vertex at the base-cell level: this edge borders the IK neighbour
        nbc = kBaseCellNeighbors[oldBaseCell][IKAxes];
        newRotations = kBaseCellNeighbor60CCWRots[oldBaseCell][IKAxes];
        current = rotate60ccwIndex(current);
        rotations += 1;
      }
      current = setBaseCell(current, nbc);
      break;
    }
    const int oldDigit = getIndexDigit(current, r + 1);
    if (oldDigit == InvalidDigit) {
      return H3Error::CellInvalid;
    }
    const int cls = isResClassIII(r + 1) ? 1 : 0;
    current = setDigit(current, r + 1, t.newDigit[cls][oldDigit][dir]);
    const int nextDir = t.newAdjust[cls][oldDigit][dir];
    if (nextDir == Center) {
      break;
    }
    dir = nextDir;
    --r;
  }
  const int newBaseCell = getBaseCellNumber(current);
  if (isBaseCellPentagon(newBaseCell)) {
    bool alreadyAdjustedK = false;
    if (leadingNonZeroDigit(current) == KAxes) {
      if (oldBaseCell != newBaseCell) {
        // entered the deleted K sub-sequence of a pentagon from another base cell
        current = baseCellIsCwOffset(newBaseCell, baseCellHome(oldBaseCell).face) ? rotate60cwIndex(current)
                                                                                  : rotate60ccwIndex(current);
        alreadyAdjustedK = true;
      } else {
        // entered it from within the same pentagon base cell
        if (oldLeadingDigit == Center) {
          return H3Error::Pentagon; // the K direction does not exist from the pentagon itself
        }
        if (oldLeadingDigit == JKAxes) {
          current = rotate60ccwIndex(current);
          rotations += 1;
        } else if (oldLeadingDigit == IKAxes) {
          current = rotate60cwIndex(current);
          rotations += 5;
        } else {
          return H3Error::Failed;
        }
      }
    }
    for (int i = 0; i < newRotations; ++i) {
      current = rotatePent60ccw(current);
    }
    if (oldBaseCell != newBaseCell) {
      if (isBaseCellPolarPentagon(newBaseCell)) {
        // polar pentagons have i neighbours all round
        if (oldBaseCell != 118 && oldBaseCell != 8 && leadingNonZeroDigit(current) != JKAxes) {
          rotations += 1;
        }
      } else if (leadingNonZeroDigit(current) == IKAxes && !alreadyAdjustedK) {
        rotations += 1;
      }
    }
  } else {
    for (int i = 0; i < newRotations; ++i) {
      current = rotate60ccwIndex(current);
    }
  }
  rotations = (rotations + newRotations) % 6;
  out = current;
  return H3Error::Success;
}

namespace {

constexpr int kRingDirections[6] = {JAxes, JKAxes, KAxes, IKAxes, IAxes, IJAxes};

// Ring walk valid only where no pentagon is met: Pentagon otherwise (the caller then falls back).
H3Error gridDiskWalk(H3Index origin, int k, H3Index* out, int* dist, std::int64_t& n) {
  n = 0;
  out[n] = origin;
  dist[n++] = 0;
  if (isPentagon(origin)) {
    return H3Error::Pentagon;
  }
  int ring = 1, direction = 0, i = 0, rotations = 0;
  while (ring <= k) {
    if (direction == 0 && i == 0) {
      if (const H3Error e = h3NeighborRotations(origin, IAxes, rotations, origin); e != H3Error::Success) {
        return e;
      }
      if (isPentagon(origin)) {
        return H3Error::Pentagon;
      }
    }
    if (const H3Error e = h3NeighborRotations(origin, kRingDirections[direction], rotations, origin);
        e != H3Error::Success) {
      return e;
    }
    out[n] = origin;
    dist[n++] = ring;
    if (++i == ring) {
      i = 0;
      if (++direction == 6) {
        direction = 0;
        ++ring;
      }
    }
    if (isPentagon(origin)) {
      return H3Error::Pentagon;
    }
  }
  return H3Error::Success;
}

std::uint64_t mixHash(H3Index h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// Breadth-first search over the neighbour relation: correct around pentagons. out doubles as the queue;
// an open-addressed set of capacity >= 2 * maxSize remembers the cells seen.
H3Error gridDiskBfs(H3Index origin, int k, std::int64_t maxSize, H3Index* out, int* dist, std::int64_t& n,
                    RamPool* pool) {
  std::size_t cap = 16;
  while (cap < static_cast<std::size_t>(maxSize) * 2) {
    cap <<= 1;
  }
  ManagedBuffer<H3Index, 8> seen(cap, pool); // zero-initialised; 0 is never a cell
  auto insert = [&](H3Index h) {
    std::size_t slot = mixHash(h) & (cap - 1);
    while (seen[slot] != 0) {
      if (seen[slot] == h) {
        return false;
      }
      slot = (slot + 1) & (cap - 1);
    }
    seen[slot] = h;
    return true;
  };
  n = 0;
  insert(origin);
  out[n] = origin;
  dist[n++] = 0;
  for (std::int64_t head = 0; head < n; ++head) {
    if (dist[head] >= k) {
      continue;
    }
    for (int d = KAxes; d <= IJAxes; ++d) {
      int rotations = 0;
      H3Index nb;
      const H3Error e = h3NeighborRotations(out[head], d, rotations, nb);
      if (e == H3Error::Pentagon) {
        continue; // the deleted direction of a pentagon
      }
      if (e != H3Error::Success) {
        return e;
      }
      if (insert(nb)) {
        if (n >= maxSize) {
          return H3Error::Failed;
        }
        out[n] = nb;
        dist[n++] = dist[head] + 1;
      }
    }
  }
  return H3Error::Success;
}

// Lists above this many cells are refused before allocation (8 bytes each, plus distances).
constexpr std::int64_t kMaxListCells = 100'000'000;

} // namespace

H3Error gridDiskDistances(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out,
                          ManagedBuffer<int, 8>* distances) {
  std::int64_t maxSize = 0;
  if (const H3Error e = maxGridDiskSize(k, maxSize); e != H3Error::Success) {
    return e;
  }
  if (!isValidCell(origin)) {
    return H3Error::CellInvalid;
  }
  if (maxSize > kMaxListCells) {
    return H3Error::MemoryBounds;
  }
  out.resizeForOverwrite(static_cast<std::size_t>(maxSize));
  ManagedBuffer<int, 8> local(out.pool());
  ManagedBuffer<int, 8>& dist = distances != nullptr ? *distances : local;
  dist.resizeForOverwrite(static_cast<std::size_t>(maxSize));
  std::int64_t n = 0;
  H3Error e = gridDiskWalk(origin, k, out.data(), dist.data(), n);
  if (e != H3Error::Success) {
    e = gridDiskBfs(origin, k, maxSize, out.data(), dist.data(), n, out.pool());
  }
  if (e != H3Error::Success) {
    out.clear();
    dist.clear();
    return e;
  }
  out.resize(static_cast<std::size_t>(n));
  dist.resize(static_cast<std::size_t>(n));
  return H3Error::Success;
}

H3Error gridDisk(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out) {
  return gridDiskDistances(origin, k, out, nullptr);
}

H3Error gridRing(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out) {
  ManagedBuffer<int, 8> dist(out.pool());
  if (const H3Error e = gridDiskDistances(origin, k, out, &dist); e != H3Error::Success) {
    return e;
  }
  std::size_t m = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (dist[i] == k) {
      out[m++] = out[i];
    }
  }
  out.resize(m);
  return H3Error::Success;
}

H3Error areNeighborCells(H3Index a, H3Index b, bool& out) {
  if (!isValidCell(a) || !isValidCell(b)) {
    return H3Error::CellInvalid;
  }
  if (getResolution(a) != getResolution(b)) {
    return H3Error::ResMismatch;
  }
  out = false;
  if (a == b) {
    return H3Error::Success;
  }
  for (int d = KAxes; d <= IJAxes; ++d) {
    int rotations = 0;
    H3Index nb;
    if (h3NeighborRotations(a, d, rotations, nb) == H3Error::Success && nb == b) {
      out = true;
      break;
    }
  }
  return H3Error::Success;
}

// ---- Local IJK frames and distances ----------------------------------------------------------------------
namespace {

// Unfolding across a pentagon. The pentagon's missing K sub-sequence means a neighbouring base cell's
// frame meets the pentagon's frame turned by some sixths of a turn, depending on the leading digit of
// the cell on the pentagon (row) and the direction of the other base cell (column). -1: no such pair
// (the K digit does not occur). kFailedDirections marks the pairs whose unfolding is ambiguous (the two
// sides of the missing wedge), where distances are refused.
constexpr int kPentagonRotations[7][7] = {
    {0, -1, 0, 0, 0, 0, 0}, {-1, -1, -1, -1, -1, -1, -1}, {0, -1, 0, 0, 0, 1, 0}, {0, -1, 0, 0, 1, 1, 0},
    {0, -1, 0, 5, 0, 0, 0}, {0, -1, 5, 5, 0, 0, 0},       {0, -1, 0, 0, 0, 0, 0},
};
constexpr bool kFailedDirections[7][7] = {
    {false, false, false, false, false, false, false}, {false, false, false, false, false, false, false},
    {false, false, false, false, true, true, false},   {false, false, false, false, true, false, true},
    {false, false, true, true, false, false, false},   {false, false, true, false, false, false, true},
    {false, false, false, true, false, true, false},
};

int baseCellDirection(int origin, int neighbour) {
  for (int d = Center; d < InvalidDigit; ++d) {
    if (kBaseCellNeighbors[origin][d] == neighbour) {
      return d;
    }
  }
  return InvalidDigit;
}

H3Index rotatePent60cw(H3Index h) {
  bool found = false;
  const int res = getResolution(h);
  for (int r = 1; r <= res; ++r) {
    h = setDigit(h, r, rotate60cw(getIndexDigit(h, r)));
    if (!found && getIndexDigit(h, r) != 0) {
      found = true;
      if (leadingNonZeroDigit(h) == KAxes) {
        h = rotate60cwIndex(h);
      }
    }
  }
  return h;
}

// Coordinates of h in the frame of origin's base cell.
H3Error cellToLocalIjk(H3Index origin, H3Index h, CoordIJK& out) {
  const int res = getResolution(origin);
  if (res != getResolution(h)) {
    return H3Error::ResMismatch;
  }
  const int originBaseCell = getBaseCellNumber(origin);
  const int baseCell = getBaseCellNumber(h);
  int dir = Center, revDir = Center;
  if (originBaseCell != baseCell) {
    dir = baseCellDirection(originBaseCell, baseCell);
    if (dir == InvalidDigit) {
      return H3Error::Failed; // not neighbouring base cells: nothing to unfold onto
    }
    revDir = baseCellDirection(baseCell, originBaseCell);
  }
  const bool originOnPent = isBaseCellPentagon(originBaseCell);
  const bool indexOnPent = isBaseCellPentagon(baseCell);
  if (dir != Center) {
    // turn h into the orientation of the origin's base cell
    const int rotations = kBaseCellNeighbor60CCWRots[originBaseCell][dir];
    for (int i = 0; i < rotations; ++i) {
      if (indexOnPent) {
        h = rotatePent60cw(h);
        revDir = rotate60cw(revDir);
        if (revDir == KAxes) {
          revDir = rotate60cw(revDir);
        }
      } else {
        h = rotate60cwIndex(h);
        revDir = rotate60cw(revDir);
      }
    }
  }
  FaceIJK fijk{0, {0, 0, 0}};
  h3ToFaceIjkWithInitializedFijk(h, fijk);
  if (dir != Center) {
    int pentagonRotations = 0;
    int directionRotations = 0;
    if (originOnPent) {
      const int lead = leadingNonZeroDigit(origin);
      if (kFailedDirections[lead][dir]) {
        return H3Error::Failed;
      }
      directionRotations = kPentagonRotations[lead][dir];
      pentagonRotations = directionRotations;
    } else if (indexOnPent) {
      const int lead = leadingNonZeroDigit(h);
      if (kFailedDirections[lead][revDir]) {
        return H3Error::Failed;
      }
      pentagonRotations = kPentagonRotations[revDir][lead];
    }
    if (pentagonRotations < 0 || directionRotations < 0) {
      return H3Error::CellInvalid;
    }
    for (int i = 0; i < pentagonRotations; ++i) {
      ijkRotate60cw(fijk.coord);
    }
    // the neighbouring base cell's origin, scaled down to the cells' resolution
    CoordIJK offset{0, 0, 0};
    ijkNeighbor(offset, dir);
    for (int r = res - 1; r >= 0; --r) {
      if (isResClassIII(r + 1)) {
        downAp7(offset);
      } else {
        downAp7r(offset);
      }
    }
    for (int i = 0; i < directionRotations; ++i) {
      ijkRotate60cw(offset);
    }
    fijk.coord = ijkAdd(fijk.coord, offset);
    ijkNormalize(fijk.coord);
  } else if (originOnPent && indexOnPent) {
    const int originLead = leadingNonZeroDigit(origin);
    const int indexLead = leadingNonZeroDigit(h);
    if (kFailedDirections[originLead][indexLead]) {
      return H3Error::Failed;
    }
    const int rotations = kPentagonRotations[originLead][indexLead];
    if (rotations < 0) {
      return H3Error::CellInvalid;
    }
    for (int i = 0; i < rotations; ++i) {
      ijkRotate60cw(fijk.coord);
    }
  }
  out = fijk.coord;
  return H3Error::Success;
}

} // namespace

H3Error gridDistance(H3Index a, H3Index b, std::int64_t& out) {
  if (!isValidCell(a) || !isValidCell(b)) {
    return H3Error::CellInvalid;
  }
  CoordIJK ia, ib;
  if (const H3Error e = cellToLocalIjk(a, a, ia); e != H3Error::Success) {
    return e;
  }
  if (const H3Error e = cellToLocalIjk(a, b, ib); e != H3Error::Success) {
    return e;
  }
  CoordIJK d = ijkSub(ia, ib);
  ijkNormalize(d);
  out = std::max({std::abs(d.i), std::abs(d.j), std::abs(d.k)});
  return H3Error::Success;
}

// ---- Text -------------------------------------------------------------------------------------------------

int h3ToString(H3Index h, char* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  char tmp[16];
  int n = 0;
  do {
    tmp[n++] = kHex[h & 0xF];
    h >>= 4;
  } while (h != 0);
  for (int i = 0; i < n; ++i) {
    out[i] = tmp[n - 1 - i];
  }
  out[n] = '\0';
  return n;
}

H3Error stringToH3(const char* text, std::size_t len, H3Index& out) {
  std::size_t i = 0;
  if (len == 0 || len > 16) {
    return H3Error::Failed;
  }
  H3Index h = 0;
  for (; i < len; ++i) {
    const char c = text[i];
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      return H3Error::Failed;
    }
    h = (h << 4) | static_cast<H3Index>(v);
  }
  out = h;
  return H3Error::Success;
}

} // namespace vela::h3
