# The exact method's table for c(1, 5000) is 22503^2 doubles, 4 GB. Under a
# 1 GB address-space limit the allocation fails; GSL's default handler would
# abort the R process, the package must report it and carry on. Run in a
# child R so that a fault cannot take the test session down.
test_that("a table that cannot be allocated is an error, not an abort", {
  skip_on_os("windows")
  code <- paste(
    "library(hankeltransf)",
    # the limit must hold, or the calls below would really run
    "if (!inherits(try(numeric(2.5e8), silent = TRUE), 'try-error')) quit(status = 3)",
    "for (m in c('exact', 'fast')) cat(tryCatch(hankel_transf(c(1, if (m == 'fast') 2.5e7 else 5000), m),",
    "  error = conditionMessage), '\\n')",
    "cat(format(hankel_transf(1), digits = 10), '\\n')", sep = "\n")
  script <- tempfile(fileext = ".R")
  on.exit(unlink(script))
  writeLines(code, script)
  out <- suppressWarnings(system2("sh", c("-c", shQuote(paste(
    "ulimit -v 1000000 && exec", shQuote(file.path(R.home("bin"), "Rscript")),
    "--vanilla", shQuote(script)))), stdout = TRUE, stderr = TRUE,
    env = paste0("R_LIBS=", shQuote(paste(.libPaths(), collapse = ":"))),
    timeout = 120))
  status <- attr(out, "status")
  skip_if(identical(status, 3L), "address-space limit not enforced here")
  expect_null(status, label = paste(out, collapse = "\n"))
  expect_match(out[1], "could not allocate the exact method's 22503 x 22503 table \\(4.05 GB\\); method = \"fast\"")
  expect_match(out[2], "could not allocate the fast method's work space \\(N = 112500003\\)")
  expect_match(out[3], "^0.8376631361 ?$")
})
