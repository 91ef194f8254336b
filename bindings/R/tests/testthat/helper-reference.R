# Independent routes to the libraries' results.

# The grid and the direct sum transcribed operation by operation, one
# rounding each, accumulated in a plain loop (R's sum() keeps a long double
# accumulator, so it is not used for the sums). Bit for bit with
# DFTYieldExpon on the same libm; cost n * N^2 R-level additions, so small
# calls only. Constants in hex so that the parser cannot round them.
literal_grid <- function(d) {
  s <- d / 0x1.6a09e667f3bcdp+0                      # sqrt(2)
  max_x <- (1 / (min(s) + min(s))) * 1.5
  t <- (1 / (max(s) + max(s))) * 0x1.5555555555555p-1 # 0.6666666666666666
  segments <- ceiling((max_x - -max_x) / t) + 1
  h <- (max_x - -max_x) / segments
  x <- numeric(segments + 1)
  x[1] <- -max_x
  for (i in 2:(segments + 1)) x[i] <- x[i - 1] + h
  list(s = s, x = x, max_x = max_x, h = h,
       f = (outer(x * x, x * x, "+") * 0x1.3bd3cc9be45dep+5 + 1)^-0.75)
}

literal_sum <- function(d) {
  g <- literal_grid(d)
  vapply(g$s, function(si) {
    acc <- 0
    for (j in seq_along(g$x))
      for (term in g$f[j, ] * cos((si * g$x[j] + si * g$x) * 0x1.921fb54442d18p+2))
        acc <- acc + term
    acc
  }, 0)
}

# The installed command-line tool, built from the same objects as the
# libraries: HANKEL_TRANSF_TOOL, else <pkg-config prefix>/bin/hankel-transf.
# "" when there is none.
find_tool <- function() {
  tool <- Sys.getenv("HANKEL_TRANSF_TOOL")
  if (nzchar(tool))
    return(tool)
  if (!nzchar(Sys.which("pkg-config")))
    return("")
  prefix <- suppressWarnings(system2("pkg-config", c("--variable=prefix", "hankel_transf"),
                                     stdout = TRUE, stderr = FALSE))
  tool <- file.path(prefix[1], "bin", "hankel-transf")
  if (length(prefix) == 1L && file.exists(tool)) tool else ""
}

# The tool's values as it prints them (%.17g, which identifies a double), so
# comparing strings compares bits without trusting a decimal parser.
tool_values <- function(tool, d, method) {
  out <- system2(tool, c("--method", method, sprintf("%.17g", d)),
                 stdout = TRUE, stderr = TRUE)
  if (!is.null(attr(out, "status")))
    stop(tool, " failed: ", paste(out, collapse = "\n"))
  vapply(strsplit(out, "\t", fixed = TRUE), `[`, "", 2L)
}
