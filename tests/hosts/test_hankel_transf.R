# Rscript test_hankel_transf.R <wrapper.R> <libhankel_transf.so> [<libhankel_transf_fast.so>]
args <- commandArgs(trailingOnly = TRUE)
stopifnot(length(args) >= 2)
source(args[[1]])
lib <- args[[2]]
fast_lib <- if (length(args) >= 3 && nzchar(args[[3]])) args[[3]] else ""

failures <- 0L
fail <- function(...) {
  cat("FAIL", ..., "\n")
  failures <<- failures + 1L
}
# the worked values carry ten significant digits
expect_close <- function(what, got, want) {
  if (length(got) != length(want) || any(!(abs(got - want) <= 5e-10 * abs(want))))
    fail(what, ": got", format(got, digits = 17), "want", format(want, digits = 10))
}
expect_error <- function(what, expr) {
  ok <- tryCatch({ force(expr); FALSE }, error = function(e) TRUE)
  if (!ok) fail(what, ": no error")
}

# Sum of f over the call's grid: the scale the fast method's error is
# measured against (|ht| never exceeds it).
kernel_sum <- function(d) {
  s <- d / 1.4142135623730951
  max_x <- (1 / (min(s) + min(s))) * 1.5
  t <- (1 / (max(s) + max(s))) * 0.6666666666666666
  nseg <- ceiling((max_x + max_x) / t) + 1
  x <- -max_x + (0:nseg) * ((max_x + max_x) / nseg)
  sum((outer(x * x, x * x, "+") * 39.47841760435743 + 1)^-0.75)
}

ht <- function(d, ...) hankel_transf(d, lib = lib, fast_lib = fast_lib, ...)

# Worked values; order is the caller's, the grid comes from the whole call.
expect_close("ht({1})", ht(1), 0.8376631361)
expect_close("ht({1, 2})", ht(c(1, 2)), c(1.896646434, 0.3717551400))
expect_close("ht({2, 1})", ht(c(2, 1)), c(0.3717551400, 1.896646434))
expect_close("ht({sqrt 2})", ht(1.4142135623730951), 0.7434014215)
expect_close("integer input", ht(c(1L, 2L)), c(1.896646434, 0.3717551400))
r <- ht(c(near = 1, far = 2))
if (!identical(names(r), c("near", "far"))) fail("names not carried over")

# The library's bad-input rule comes through .C unchanged.
for (bad in list(c(1, -1), c(1, 0), c(NA, 1), c(1, NaN), c(1, Inf))) {
  r <- ht(bad)
  if (length(r) != 2 || !all(is.nan(r)))
    fail("bad distances", deparse(bad), "gave", deparse(r))
}
if (!identical(ht(numeric(0)), numeric(0))) fail("empty input")

# What is checked on the R side.
expect_error("character input", ht("1"))
expect_error("complex input", ht(1 + 0i))
expect_error("unknown method", ht(1, method = "slow"))
expect_error("missing library", hankel_transf(1, lib = file.path(tempdir(), "none.so")))

if (nzchar(fast_lib)) {
  for (d in list(1, c(1, 2), c(0.3, 7.9, 1, 2.5, 2.5), c(5, 0.21, 0.9, 3.3, 12))) {
    exact <- ht(d)
    fast <- ht(d, method = "fast")
    err <- max(abs(fast - exact)) / kernel_sum(d)
    if (!(err <= 1e-13))
      fail("fast vs exact for", deparse(d), ": error", err, "of the kernel sum")
  }
  expect_close("fast ht({1, 2})", ht(c(1, 2), method = "fast"), c(1.896646434, 0.3717551400))
  if (!all(is.nan(ht(c(2, -1), method = "fast")))) fail("fast: bad distance not NaN")
} else {
  cat("no fast library given: fast method not tested\n")
}

cat(if (failures) "FAILED" else "ok", ":", failures, "failure(s)\n")
quit(status = if (failures) 1L else 0L)
