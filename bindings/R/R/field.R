# From the kernel to a Gaussian random field with covariance exp(-d).
#
# The continuum kernel k(d) = 2^(1/4) / (2 pi Gamma(3/4)) d^(-1/4) K_{1/4}(d)
# is the inverse Fourier transform of f(w) = (1 + 4 pi^2 |w|^2)^(-3/4); f^2 is
# the spectral density of exp(-|h|) divided by 2 pi, so k convolved with
# itself in the plane is exp(-d) / (2 pi), and white noise convolved with
# sqrt(2 pi) k has covariance exp(-d). Here that convolution is done on a
# lattice, k sampled by one call of the library's sum (see man/lattice_kernel.Rd
# and man/exponential_field.Rd for the accuracy of each step).

# The library call's largest distance, at the least: its frequency grid's
# spacing is about sqrt(2) / (3 * largest), too coarse to resolve f (whose
# scale is 1/(2 pi)) when the largest distance is a few units. Measured at
# spacing 0.05, relative error of the sum times the cell area against k at
# d = 1 and 2: 6e-2 and 3.6e-1 with largest 2, 9e-6 and 4e-5 with 11.3.
grid_reach <- 12

# The mass of k inside the disc of radius a, 2 pi int_0^a k(r) r dr.
#  - a < 1: termwise integral of the power series of K_{1/4} (DLMF 10.25.2,
#    10.27.4); (a^2/4)^k / k! < 4^-k / k!, so 20 terms leave less than 1e-30,
#    and the two series cancel by at most a factor 5.4: relative error
#    below 2e-15.
#  - a >= 1: 1 - 2^(1/4) / Gamma(3/4) a^(3/4) K_{3/4}(a), since
#    d/dr[r^(3/4) K_{3/4}(r)] = -r^(3/4) K_{1/4}(r) (DLMF 10.29) and k's total
#    mass is f(0) = 1; besselK is accurate to a few units of rounding, and
#    the mass is at least 0.49 here.
disc_mass <- function(a) {
  if (a < 1) {
    k <- 0:19
    terms <- (a * a / 4)^k / factorial(k) *
      (a^1.5 / ((2 * k + 1.5) * gamma(k + 0.75)) -
         a * a / (sqrt(2) * (2 * k + 2) * gamma(k + 1.25)))
    pi / gamma(0.75) * sum(terms)
  } else {
    # exponentially scaled, so that a large a gives 0 without a warning
    1 - 2^0.25 / gamma(0.75) * a^0.75 * besselK(a, 0.75, expon.scaled = TRUE) * exp(-a)
  }
}

# The lattice kernel at the origin, where k is singular like 0.333 d^(-1/2):
# k's mass in the disc of the cell's area, per unit area.
centre_cell <- function(spacing) disc_mass(spacing / sqrt(pi)) / (spacing * spacing)

positive_number <- function(x, name) {
  if (!is.numeric(x) || length(x) != 1L)
    stop(sprintf("'%s' must be one number, not %s", name,
                 if (is.numeric(x)) sprintf("%d of them", length(x)) else class(x)[1L]),
         call. = FALSE)
  x <- as.double(x)
  if (is.na(x) || !(x > 0) || !is.finite(x))
    stop(sprintf("'%s' must be positive and finite, not %s", name, format(x)), call. = FALSE)
  x
}

# Lattice steps from the kernel's centre to its edge: half_width / spacing
# rounded to the nearest integer (0.7 / 0.1 is 6.999999999999999: 7 steps).
kernel_cells <- function(half_width, spacing) {
  steps <- half_width / spacing
  if (steps > 2^30)
    stop(sprintf("half_width / spacing = %.3g: a kernel that many cells wide cannot be allocated",
                 steps), call. = FALSE)
  round(steps)
}

# Bytes a work space may take: the machine's memory where Linux reports it.
memory_limit <- function() {
  meminfo <- tryCatch(readLines("/proc/meminfo", n = 1L, warn = FALSE),
                      error = function(e) character(0), warning = function(w) character(0))
  kb <- suppressWarnings(as.numeric(sub("^MemTotal:\\s*([0-9]+) kB$", "\\1", meminfo)))
  if (length(kb) == 1L && !is.na(kb)) 1024 * kb else Inf
}

# Stop with what was being built when it needs more than the machine has,
# or when building it fails for want of memory.
with_work_space <- function(what, bytes, expr) {
  limit <- memory_limit()
  if (bytes > limit)
    stop(sprintf("%s needs about %s of work space, more than this machine has (%s)",
                 what, format_bytes(bytes), format_bytes(limit)), call. = FALSE)
  tryCatch(expr, error = function(e) {
    if (grepl("cannot allocate", conditionMessage(e), fixed = TRUE))
      stop(sprintf("%s needs about %s of work space, which could not be allocated (%s)",
                   what, format_bytes(bytes), conditionMessage(e)), call. = FALSE)
    stop(e)
  })
}

kernel_bytes <- function(m) 40 * (m + 1)^2 + 8 * (2 * m + 1)^2

# The (2m+1) x (2m+1) lattice kernel; sizes checked by the caller.
build_kernel <- function(m, spacing, method) {
  i <- as.double(0:m)
  squared <- outer(i * i, i * i, "+")        # exact: every offset's |.|^2
  distinct <- sort(unique(as.vector(squared)))
  values <- numeric(length(distinct))
  values[1L] <- centre_cell(spacing)         # distinct[1] == 0
  if (length(distinct) > 1L) {
    # One call on every distinct distance. The grid's extent follows the
    # smallest (spacing), which band-limits the kernel to the lattice; its
    # resolution the largest, so a near corner is pushed out to grid_reach
    # (that extra distance's value is dropped).
    d <- sqrt(distinct[-1L]) * spacing
    values[-1L] <- hankel_transf(c(d, max(grid_reach, d[length(d)])), method,
                                 scaled = TRUE)[seq_along(d)]
  }
  quadrant <- matrix(values[match(squared, distinct)], m + 1L)
  mirror <- c(rev(seq_len(m)) + 1L, seq_len(m + 1L))   # offsets -m..m
  quadrant[mirror, mirror, drop = FALSE]
}

lattice_kernel <- function(half_width, spacing, method = c("fast", "exact")) {
  method <- match.arg(method)
  half_width <- positive_number(half_width, "half_width")
  spacing <- positive_number(spacing, "spacing")
  m <- kernel_cells(half_width, spacing)
  with_work_space(sprintf("a lattice kernel of %.0f x %.0f cells", 2 * m + 1, 2 * m + 1),
                  kernel_bytes(m), build_kernel(m, spacing, method))
}

field_dim <- function(dim) {
  if (!is.numeric(dim))
    stop("'dim' must be two lattice sizes (rows, columns), not ", class(dim)[1L],
         call. = FALSE)
  if (length(dim) != 2L)
    stop(sprintf("'dim' must be two lattice sizes (rows, columns), not %d", length(dim)),
         call. = FALSE)
  if (anyNA(dim) || any(dim != round(dim)) || any(dim < 1) || any(dim > .Machine$integer.max))
    stop(sprintf("'dim' = c(%s): both sizes must be whole numbers from 1 to %d",
                 paste(dim, collapse = ", "), .Machine$integer.max), call. = FALSE)
  as.double(dim)
}

exponential_field <- function(dim, spacing, method = c("fast", "exact"), half_width = 8) {
  method <- match.arg(method)
  dim <- field_dim(dim)
  spacing <- positive_number(spacing, "spacing")
  half_width <- positive_number(half_width, "half_width")
  m <- kernel_cells(half_width, spacing)
  # A torus at least the field plus the kernel's reach (2m cells) each way,
  # so that no two points of the field see the same noise through the wrap;
  # each side a length R's fft does quickly.
  torus <- c(nextn(dim[1L] + 2 * m), nextn(dim[2L] + 2 * m))
  what <- sprintf("a %.0f x %.0f field (noise on %.0f x %.0f cells)",
                  dim[1L], dim[2L], torus[1L], torus[2L])
  if (prod(torus) > .Machine$integer.max)
    stop(what, " is too large: R's fft takes at most 2^31 - 1 points", call. = FALSE)
  # noise and padded kernel (double), three complex transforms and their
  # product, the field and its cell noise
  bytes <- 16 * prod(torus) + 64 * prod(torus) + 16 * prod(dim) + kernel_bytes(m)
  with_work_space(what, bytes, {
    weights <- build_kernel(m, spacing, method) * (sqrt(2 * pi) * spacing)
    cell_variance <- 1 - sum(weights^2)
    if (cell_variance < 0)
      stop(sprintf("the lattice kernel's variance %.17g exceeds 1 at spacing %g",
                   1 - cell_variance, spacing), call. = FALSE)
    noise <- matrix(rnorm(prod(torus)), torus[1L], torus[2L])
    padded <- matrix(0, torus[1L], torus[2L])
    padded[seq_len(2 * m + 1), seq_len(2 * m + 1)] <- weights
    conv <- Re(fft(fft(noise) * fft(padded), inverse = TRUE)) / prod(torus)
    conv[seq_len(dim[1L]), seq_len(dim[2L]), drop = FALSE] +
      sqrt(cell_variance) * matrix(rnorm(prod(dim)), dim[1L], dim[2L])
  })
}
