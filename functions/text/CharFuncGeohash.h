#pragma once
// Geohash text of a point: bits made by halving the longitude interval [-180, 180] and the latitude
// interval [-90, 90] in turn, longitude first (a bit is 1 when the coordinate is at or above the
// midpoint), five bits to a character of the alphabet "0123456789bcdefghjkmnpqrstuvwxyz".

namespace vela::cuda {

/// Whether (longitude, latitude) lies inside [-180, 180] x [-90, 90]; NaN lies outside.
bool geohash_in_range(double longitude, double latitude);

/// Writes the first `chars` characters (chars <= width) of the geohash of an in-range point into the
/// cell `out` of `width` bytes, the rest of the cell zero.
void geohash_encode(char* out, int width, double longitude, double latitude, int chars);

/// The centre of the cell named by the geohash held in a char16 cell: decoding stops at the first
/// character outside the alphabet (the characters before it count); the empty text gives (0, 0).
void geohash_decode(const char* cell16, double& longitude, double& latitude);

} // namespace vela::cuda
