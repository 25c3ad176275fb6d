#pragma once
// Two doubles side by side, for the per-point geometry of whole records. Each operator is the
// packed form of the scalar instruction, so every lane is rounded exactly as the scalar
// expression rounds it, while the divider and the square root take two lanes at a time. A
// formula written as a template over the number type serves both double and Lanes.
#include <cmath>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>

struct Lanes {
    __m128d v;
};

inline __m128d Wide(Lanes a) { return a.v; }
inline __m128d Wide(double a) { return _mm_set1_pd(a); }

template <class P, class Q>
concept HasLanes = std::is_same_v<P, Lanes> || std::is_same_v<Q, Lanes>;

template <class P, class Q>
    requires HasLanes<P, Q>
Lanes operator+(P a, Q b) { return {_mm_add_pd(Wide(a), Wide(b))}; }
template <class P, class Q>
    requires HasLanes<P, Q>
Lanes operator-(P a, Q b) { return {_mm_sub_pd(Wide(a), Wide(b))}; }
template <class P, class Q>
    requires HasLanes<P, Q>
Lanes operator*(P a, Q b) { return {_mm_mul_pd(Wide(a), Wide(b))}; }
template <class P, class Q>
    requires HasLanes<P, Q>
Lanes operator/(P a, Q b) { return {_mm_div_pd(Wide(a), Wide(b))}; }

inline Lanes Sqrt(Lanes a) { return {_mm_sqrt_pd(a.v)}; }
inline Lanes Abs(Lanes a) { return {_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)}; }
#endif

inline double Sqrt(double a) { return std::sqrt(a); }
inline double Abs(double a) { return std::fabs(a); }
