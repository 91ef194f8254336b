# hankel_transf.R - call libhankel_transf / libhankel_transf_fast from R.
#
#   source("examples/R/hankel_transf.R")
#   hankel_transf(c(1, 2))                    # direct sum
#   hankel_transf(c(1, 2), method = "fast")   # same sums, faster method
#
# Both entry points take every argument by address, the count included, which
# is exactly what .C passes: no glue code is compiled. The library decides what
# a bad distance gives (NaN in every output); this file only makes sure .C gets
# a double vector and an int count.
#
# Where the libraries are looked for, first match wins:
#   1. the lib / fast_lib arguments;
#   2. the environment variables HANKEL_TRANSF_LIB and HANKEL_TRANSF_FAST_LIB;
#   3. the build directory $HANKEL_TRANSF_BUILD_DIR (default "build"):
#      <dir>/libhankel_transf.so, and <dir>/libhankel_transf_fast.so or
#      <dir>/src/fast/libhankel_transf_fast.so;
#   4. the bare soname (libhankel_transf.so.1, ...), left to the dynamic
#      loader's search path: that is where an installed copy is found.

.hankel_transf_dlls <- new.env(parent = emptyenv())

.hankel_transf_default_path <- function(stem, env_var, soversion = "1") {
  from_env <- Sys.getenv(env_var, "")
  if (nzchar(from_env))
    return(from_env)
  build_dir <- Sys.getenv("HANKEL_TRANSF_BUILD_DIR", "build")
  file_name <- paste0(stem, .Platform$dynlib.ext)
  for (candidate in c(file.path(build_dir, file_name),
                      file.path(build_dir, "src", "fast", file_name)))
    if (file.exists(candidate))
      return(candidate)
  paste0(file_name, ".", soversion)
}

# Loads the library once per path and returns the native symbol `symbol`.
.hankel_transf_symbol <- function(path, symbol) {
  key <- if (file.exists(path)) normalizePath(path) else path
  dll <- .hankel_transf_dlls[[key]]
  if (is.null(dll)) {
    dll <- tryCatch(dyn.load(key, local = TRUE, now = TRUE),
                    error = function(e)
                      stop("cannot load '", path, "': ", conditionMessage(e),
                           call. = FALSE))
    assign(key, dll, envir = .hankel_transf_dlls)
  }
  getNativeSymbolInfo(symbol, PACKAGE = dll)
}

# The diagonal transform of the kernel at each distance in d, in input order.
# The frequency grid is built from min(d) and max(d) of this one call, so a
# value depends on the other distances passed with it (see hankel_transf.h).
# Any NA, NaN, Inf, zero or negative distance makes every result NaN; that is
# the library's rule, passed through unchanged (NAOK = TRUE).
hankel_transf <- function(d, method = c("exact", "fast"),
                          lib = .hankel_transf_default_path(
                            "libhankel_transf", "HANKEL_TRANSF_LIB"),
                          fast_lib = .hankel_transf_default_path(
                            "libhankel_transf_fast", "HANKEL_TRANSF_FAST_LIB")) {
  method <- match.arg(method)
  if (!is.numeric(d) || is.complex(d))
    stop("d must be a numeric vector of distances", call. = FALSE)
  n <- length(d)
  if (n > .Machine$integer.max)
    stop("at most ", .Machine$integer.max, " distances per call", call. = FALSE)
  sym <- if (method == "exact")
    .hankel_transf_symbol(lib, "DFTYieldExpon")
  else
    .hankel_transf_symbol(fast_lib, "DFTYieldExponFast")
  res <- .C(sym,
            ht_vec = double(n),
            td_vec = as.double(d),
            length_td = as.integer(n),
            NAOK = TRUE)$ht_vec
  names(res) <- names(d)
  res
}
