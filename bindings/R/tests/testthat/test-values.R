# Half a unit in the tenth significant digit: the worked values' precision.
expect_ten_digits <- function(got, want) {
  expect_length(got, length(want))
  expect_true(all(abs(got - want) <= 0.5 * 10^(floor(log10(abs(want))) - 9)),
              info = sprintf("%.17g", got))
}

test_that("worked values, in the caller's order, from either method", {
  for (method in c("exact", "fast")) {
    expect_ten_digits(hankel_transf(c(1, 2), method), c(1.896646434, 0.3717551400))
    expect_ten_digits(hankel_transf(c(2, 1), method), c(0.3717551400, 1.896646434))
    expect_ten_digits(hankel_transf(1, method), 0.8376631361)
  }
})

test_that("the grid of a call: last-bit cases", {
  g <- hankel_grid(c(1, 2))
  expect_identical(g$N, 12L)
  expect_identical(g$spacing, 0.19284730395996752)
  expect_identical(g$cell_area, g$spacing * g$spacing)
  expect_identical(hankel_grid(c(2, 1)), g)
  expect_identical(hankel_grid(c(3L, 6L))$N, 11L)
  lit <- literal_grid(c(1, 2))
  expect_identical(g$max_x, lit$max_x)
  expect_identical(hankel_grid(c(0.3, 7.9, 1))$spacing, literal_grid(c(0.3, 7.9, 1))$h)
})

test_that("integer input, names, matrices and empty input keep their shape", {
  expect_identical(hankel_transf(c(1L, 2L)), hankel_transf(c(1, 2)))
  m <- matrix(c(1, 2, 3, 0.5, 4, 1.5), 2, 3, dimnames = list(c("a", "b"), NULL))
  r <- hankel_transf(m, "fast")
  expect_identical(dim(r), dim(m))
  expect_identical(dimnames(r), dimnames(m))
  expect_identical(as.vector(r), hankel_transf(as.vector(m), "fast"))
  expect_identical(names(hankel_transf(c(near = 1, far = 2))), c("near", "far"))
  expect_identical(hankel_transf(numeric(0)), numeric(0))
  expect_identical(hankel_transf(integer(0), "fast", scaled = TRUE), numeric(0))
  expect_identical(dim(hankel_transf(matrix(numeric(0), 0, 3))), c(0L, 3L))
})

test_that("scaled multiplies by the cell area and approaches the continuum", {
  d <- c(1, 2)
  for (method in c("exact", "fast"))
    expect_identical(hankel_transf(d, method, scaled = TRUE),
                     hankel_transf(d, method) * hankel_grid(d)$spacing^2)
  # 2^(1/4) / (2 pi Gamma(3/4)) d^(-1/4) K_{1/4}(d); inside 0.147 .. 4.64 of
  # this call's 0.1 .. 10 the grid sum agrees to 1.2 % at worst (measured).
  d <- exp(seq(log(0.1), log(10), length.out = 25))
  continuum <- 2^0.25 / (2 * pi * gamma(0.75)) * d^-0.25 * besselK(d, 0.25)
  rel <- hankel_transf(d, "fast", scaled = TRUE) / continuum - 1
  expect_lt(max(abs(rel[3:21])), 0.015)
})
