// Internal: refuses any build of a unit whose results depend on exact IEEE
// rounding under flags or targets that break it. Included by every such
// unit: the grid, the direct sum, the fast method's phase arithmetic and its
// error-free transformations (TwoSum, TwoProd), which silently stop being
// error-free under reassociation, reciprocal rewriting or wider
// intermediates. Contraction into FMA cannot be detected from the source;
// the build adds -ffp-contract=off and only the fast method's hot loops,
// which contain no products inside a TwoSum, override it.
#ifndef HANKEL_TRANSF_ROUNDING_GUARD_H
#define HANKEL_TRANSF_ROUNDING_GUARD_H

#include <cfloat>

#if defined(__FAST_MATH__)
#error "-ffast-math (or -Ofast) changes the value of every rounding here: build without it"
#endif
#if defined(__ASSOCIATIVE_MATH__)
#error "-fassociative-math reorders sums and cancels TwoSum's error term: build without it"
#endif
#if defined(__RECIPROCAL_MATH__)
#error "-freciprocal-math turns the divisions of the grid into products: build without it"
#endif
#if defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__
#error "-ffinite-math-only removes the checks for NaN and infinite input: build without it"
#endif
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "intermediates wider than double (FLT_EVAL_METHOD != 0, e.g. x87): build for SSE2 or a target with binary64 arithmetic"
#endif

#endif
