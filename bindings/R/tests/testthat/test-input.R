test_that("a refused distance is named by index, value and reason", {
  cases <- list(
    list(c(1, NA), "^d\\[2\\] is NA: distances must be finite and > 0$"),
    list(c(1L, NA), "^d\\[2\\] is NA"),
    list(c(NaN, 1), "^d\\[1\\] is NaN"),
    list(c(1, 2, Inf), "^d\\[3\\] = Inf is not finite"),
    list(c(-Inf, 1), "^d\\[1\\] = -Inf is not finite"),
    list(c(1, -2.5), "^d\\[2\\] = -2.5 is not positive"),
    list(c(1, 0), "^d\\[2\\] = 0 is not positive"),
    list(c(1, -0, -1), "^d\\[2\\] = 0 is not positive"))
  for (case in cases) {
    expect_error(hankel_transf(case[[1]]), case[[2]])
    expect_error(hankel_transf(case[[1]], "fast"), case[[2]])
    expect_error(hankel_grid(case[[1]]), case[[2]])
  }
})

test_that("a grid that cannot be sized says which end is at fault", {
  expect_error(hankel_transf(c(1, 5e-324)),
               "smallest distance, d\\[2\\] = 4.94065645841247e-324, is too small")
  expect_error(hankel_transf(c(1.7e308, 1), "fast"),
               "largest distance, d\\[1\\] = 1.7e\\+308, is too large")
  expect_error(hankel_grid(c(2, 1e9, 1)),
               "max\\(d\\)/min\\(d\\) = 1e\\+09 \\(d\\[2\\] = 1e\\+09, d\\[3\\] = 1\\) is too large")
  expect_identical(hankel_grid(c(1, 3e8))$N, 1350000003L)
})

test_that("arguments of the wrong kind are refused", {
  expect_error(hankel_transf("1"), "numeric vector of distances, not character")
  expect_error(hankel_transf(1 + 0i), "not complex")
  expect_error(hankel_transf(TRUE), "not logical")
  expect_error(hankel_transf(factor(1)), "not factor")
  expect_error(hankel_transf(1, method = "slow"), "should be one of")
  expect_error(hankel_transf(1, scaled = NA), "'scaled' must be TRUE or FALSE")
  expect_error(hankel_grid(numeric(0)), "no distances")
})
