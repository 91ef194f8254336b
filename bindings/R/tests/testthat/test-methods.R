# Six distances (N = 121) on which the two sums differ in the last bits, so
# that each method can be told from the other.
d <- c(0.3, 7.9, 1, 2.5, 4.1, 0.55)

test_that("method picks the sum: exact and fast are told apart bit for bit", {
  exact <- hankel_transf(d, "exact")
  fast <- hankel_transf(d, "fast")
  # Without differing values the checks below could not tell a swap.
  expect_gte(sum(exact != fast), 3L)
  expect_identical(exact, literal_sum(d))
  # Fast and exact agree to rounding: 7e-16 of the kernel sum measured.
  g <- literal_grid(d)
  expect_lt(max(abs(fast - exact)) / sum(g$f), 4e-15)
})

test_that("each method matches the installed tool to the last bit", {
  tool <- find_tool()
  skip_if(!nzchar(tool), "hankel-transf not found (set HANKEL_TRANSF_TOOL)")
  for (method in c("exact", "fast"))
    expect_identical(sprintf("%.17g", hankel_transf(d, method)),
                     tool_values(tool, d, method), label = method)
})
