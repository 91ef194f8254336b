# Distances as the C functions take them: a plain double vector. Integers
# are converted; anything else that is not numeric is refused by type.
as_distances <- function(d) {
  if (!is.numeric(d))
    stop("'d' must be a numeric vector of distances, not ", class(d)[1L],
         call. = FALSE)
  as.double(d)
}

# The grid a call on x would use, or an error that names the value at fault
# and why the call would be refused.
plan_grid <- function(x) {
  q <- .Call(C_grid, x)
  if (q$status != "ok")
    stop(refusal(x, q$status, q$bad_index), call. = FALSE)
  list(N = q$N, spacing = q$spacing, max_x = q$max_x,
       cell_area = q$spacing * q$spacing, table_bytes = 8 * as.double(q$N)^2)
}

refusal <- function(x, status, bad) {
  at <- function(i) sprintf("d[%d] = %s", i, format(x[i], digits = 15L))
  switch(status,
    bad_distance = paste0(
      if (is.nan(x[bad])) sprintf("d[%d] is NaN", bad)
      else if (is.na(x[bad])) sprintf("d[%d] is NA", bad)
      else paste(at(bad), if (is.finite(x[bad])) "is not positive" else "is not finite"),
      ": distances must be finite and > 0"),
    extent_overflow = paste0(
      "the smallest distance, ", at(which.min(x)), ", is too small: the ",
      "grid's extent 1.5/(2 min(d)/sqrt(2)) is not a finite number"),
    spacing_underflow = paste0(
      "the largest distance, ", at(which.max(x)), ", is too large: ",
      "2 max(d)/sqrt(2) overflows and the grid spacing would be 0"),
    too_many_points = sprintf(paste0(
      "max(d)/min(d) = %s (%s, %s) is too large to size the grid: ",
      "about 4.5 * ratio + 2 = %.3g points per axis cannot be counted or ",
      "addressed (ratios up to about 3.4e8 can)"),
      format(max(x) / min(x), digits = 6L), at(which.max(x)),
      at(which.min(x)), 4.5 * max(x) / min(x) + 2),
    no_distances = "no distances: a grid is sized by the smallest and largest distance of a call",
    stop("unknown grid status ", status, call. = FALSE))
}

# The result takes the shape of the input: names, dim, dimnames.
keep_shape <- function(value, d) {
  for (a in c("dim", "dimnames", "names"))
    attr(value, a) <- attr(d, a, exact = TRUE)
  value
}

hankel_grid <- function(d) plan_grid(as_distances(d))

hankel_transf <- function(d, method = c("exact", "fast"), scaled = FALSE) {
  method <- match.arg(method)
  if (!isTRUE(scaled) && !isFALSE(scaled))
    stop("'scaled' must be TRUE or FALSE", call. = FALSE)
  x <- as_distances(d)
  if (length(x) == 0L)
    return(keep_shape(double(0L), d))
  g <- plan_grid(x)
  ht <- if (method == "exact") .Call(C_exact_sum, x) else .Call(C_fast_sum, x)
  # On a grid the query accepted, NaN can only mean the work space was
  # not had; the libraries answer that with NaN in every output.
  if (anyNA(ht))
    stop(if (method == "exact") sprintf(paste0(
           "could not allocate the exact method's %d x %d table (%s); ",
           "method = \"fast\" computes the same sum in O(N) memory"),
           g$N, g$N, format_bytes(g$table_bytes))
         else sprintf("could not allocate the fast method's work space (N = %d)",
                      g$N),
         call. = FALSE)
  if (scaled)
    ht <- ht * g$cell_area
  keep_shape(ht, d)
}

format_bytes <- function(b) {
  units <- c("B", "kB", "MB", "GB", "TB", "PB", "EB")
  k <- max(1L, min(length(units), floor(log(b, 1000)) + 1L))
  sprintf("%.3g %s", b / 1000^(k - 1L), units[k])
}
