# lattice_kernel() and exponential_field(): the lattice kernel against the
# continuum it stands for, seeded fields against the covariance exp(-d).

# spacing^2 sum_j K[j] K[j + m] at the lags m along an axis and the diagonal
# with |m| spacing <= reach.
self_convolution <- function(K, spacing, reach) {
  n <- nrow(K)
  size <- nextn(2 * n)
  padded <- matrix(0, size, size)
  padded[seq_len(n), seq_len(n)] <- K
  conv <- Re(fft(fft(padded)^2, inverse = TRUE)) / size^2 * spacing^2
  lags <- 0:floor(reach / spacing + 1e-9)
  diag <- lags[lags * sqrt(2) <= reach / spacing + 1e-9]
  list(d = c(lags, diag * sqrt(2)) * spacing,
       value = c(conv[n, n + lags], conv[cbind(n + diag, n + diag)]))
}

test_that("the lattice kernel's self-convolution is exp(-d) / (2 pi)", {
  # Measured over d in [0.25, 3], axis and diagonal: the factor is 1.00145
  # and varies by 3.9e-4 at spacing 0.05; without the centre cell's integral
  # (value 0) by 2.8e-2 along the axis.
  K <- lattice_kernel(6, 0.05)
  expect_identical(dim(K), c(241L, 241L))
  expect_identical(K, t(K))
  expect_identical(K, K[241:1, ])
  s <- self_convolution(K, 0.05, 3)
  factor <- (2 * pi * s$value / exp(-s$d))[s$d >= 0.25 - 1e-9]
  expect_lte((max(factor) - min(factor)) / mean(factor), 1e-3)
  expect_lte(abs(mean(factor) - 1), 0.01)
})

test_that("away from the centre the kernel is the continuum kernel, whatever the half-width", {
  # Measured over d in [0.5, 2]: within 1.7e-3 of k (the band limit of the
  # library's grid); with the grid fitted to half-width 2's own corner, 7e-2.
  for (half_width in c(2, 8)) {
    K <- lattice_kernel(half_width, 0.05)
    m <- (nrow(K) - 1) / 2
    d <- sqrt(outer((-m:m)^2, (-m:m)^2, "+")) * 0.05
    middle <- d >= 0.5 & d <= 2
    k <- 2^0.25 / (2 * pi * gamma(0.75)) * d[middle]^-0.25 * besselK(d[middle], 0.25)
    expect_lt(max(abs(K[middle] / k - 1)), 2.5e-3, label = paste("half-width", half_width))
  }
})

test_that("the centre cell is the continuum kernel's disc average", {
  # (1 - 2^(1/4) / Gamma(3/4) a^(3/4) K_{3/4}(a)) / spacing^2, a = spacing /
  # sqrt(pi), in 40-digit arithmetic; the series hands over to besselK at
  # spacing sqrt(pi) = 1.77245. Measured: at most 4.4e-16 off.
  want <- c("1e-4" = 58.787288479928005331, "0.05" = 2.3252480023300848509,
            "0.5" = 0.52456588031042973649, "1.7724" = 0.15899034128349542378,
            "1.7725" = 0.15897990869423644708, "4" = 0.052163062984873102466,
            "25" = 0.0015999971454657355627)
  c0 <- 2^0.25 / (2 * pi * gamma(0.75))
  for (name in names(want)) {
    spacing <- as.numeric(name)
    K <- lattice_kernel(spacing / 4, spacing)            # a single cell
    expect_identical(dim(K), c(1L, 1L))
    expect_lt(abs(K[1, 1] / want[[name]] - 1), 2e-15, label = name)
    # the mass formula itself, against the kernel integrated (r = u^2 takes
    # the r^(-1/2) singularity out)
    a <- spacing / sqrt(pi)
    mass <- integrate(function(u) 2 * pi * c0 * besselK(u * u, 0.25) * 2 * u^2.5, 0, sqrt(a),
                      rel.tol = 1e-13, abs.tol = 0, subdivisions = 200L)$value
    expect_lt(abs(K[1, 1] * spacing^2 / mass - 1), 1e-13, label = name)
  }
})

# For a zero-mean Gaussian field, the mean over an r0 x r1 rectangle of
# positions p of (F1 Z)_p (G1 Z)_p and another such mean have covariance
# (1 / (r0 r1)^2) sum_delta count(delta) [C(F1,F2) C(G1,G2) + C(F1,G2) C(G1,F2)],
# C(F,G)(delta) = Cov((F Z)_p, (G Z)_{p + delta}); filters are lists of
# (row offset, column offset, coefficient). With covariance exp(-d) this is
# each estimate's variance below, up to the lattice's own deviation (BIAS).
mean_product_cov <- function(r0, r1, spacing, f1, g1, f2, g2) {
  d0 <- (-(r0 - 1)):(r0 - 1)
  d1 <- (-(r1 - 1)):(r1 - 1)
  count <- outer(r0 - abs(d0), r1 - abs(d1))
  cf <- function(f, g) {
    total <- 0
    for (s in f) for (t in g)
      total <- total + s[3] * t[3] * exp(-spacing * sqrt(outer((d0 + t[1] - s[1])^2,
                                                             (d1 + t[2] - s[2])^2, "+")))
    total
  }
  sum(count * (cf(f1, f2) * cf(g1, g2) + cf(f1, g2) * cf(g1, f2))) / (r0 * r1)^2
}

test_that("seeded fields have unit variance and the variogram 1 - exp(-d)", {
  # 12 fields of 192 x 192 at spacing 0.1; each estimate within 4.5 standard
  # deviations (p = 7e-6 a check) plus the lattice covariance's largest
  # measured deviation from exp(-d), 2.1e-3 at this spacing.
  spacing <- 0.1
  n <- 192L
  fields <- 12L
  bias <- 2.5e-3
  set.seed(20240605)
  zs <- lapply(seq_len(fields), function(i) exponential_field(c(n, n), spacing))
  point <- list(c(0, 0, 1))
  check <- function(name, estimate, expected, variance) {
    tol <- 4.5 * sqrt(variance / fields) + bias
    expect_lte(abs(estimate - expected), tol,
               label = sprintf("%s: %.5f, expected %.5f +- %.5f", name, estimate, expected, tol))
  }
  check("variance", mean(sapply(zs, function(z) mean(z^2))), 1,
        mean_product_cov(n, n, spacing, point, point, point, point))
  for (cells in c(1L, 2L, 5L, 10L, 20L, 30L)) {
    keep <- seq_len(n - cells)
    gamma <- mean(sapply(zs, function(z)
      0.25 * (mean((z[keep, keep] - z[keep, keep + cells])^2) +
                mean((z[keep, keep] - z[keep + cells, keep])^2))))
    x <- list(c(0, 0, 1), c(0, cells, -1))
    y <- list(c(0, 0, 1), c(cells, 0, -1))
    r <- n - cells
    variance <- (mean_product_cov(r, r, spacing, x, x, x, x) +
                   mean_product_cov(r, r, spacing, y, y, y, y) +
                   2 * mean_product_cov(r, r, spacing, x, x, y, y)) / 16
    check(sprintf("variogram at d = %g", cells * spacing), gamma, 1 - exp(-cells * spacing),
          variance)
  }
  # opposite edges, uncorrelated unless the noise wrapped around
  far <- list(c(0, n - 1, 1))
  check("first and last column", mean(sapply(zs, function(z) mean(z[, 1] * z[, n]))),
        exp(-(n - 1) * spacing), mean_product_cov(n, 1L, spacing, point, far, point, far))
})

test_that("the half-width is rounded to whole cells", {
  # 0.7 / 0.1 is 6.999999999999999 in binary: 7 cells each way, not 6
  expect_identical(dim(lattice_kernel(0.7, 0.1)), c(15L, 15L))
  expect_identical(dim(lattice_kernel(0.74, 0.1)), c(15L, 15L))
  expect_identical(dim(lattice_kernel(0.76, 0.1)), c(17L, 17L))
})

test_that("the seed decides the field, the method the kernel's sum", {
  set.seed(3)
  a <- exponential_field(c(20, 30), 0.25, half_width = 2)
  expect_identical(dim(a), c(20L, 30L))
  set.seed(3)
  expect_identical(exponential_field(c(20L, 30L), 0.25, half_width = 2), a)
  expect_false(identical(exponential_field(c(20, 30), 0.25, half_width = 2), a))
  exact <- lattice_kernel(2, 0.25, "exact")
  fast <- lattice_kernel(2, 0.25)
  expect_false(identical(exact, fast))            # the sums differ in the last bits
  expect_lt(max(abs(exact / fast - 1)), 1e-12)
})

test_that("refused arguments are named", {
  expect_error(exponential_field(5, 0.1), "'dim' must be two lattice sizes \\(rows, columns\\), not 1")
  expect_error(exponential_field(c(2, 3, 4), 0.1), "not 3")
  expect_error(exponential_field("ab", 0.1), "not character")
  expect_error(exponential_field(c(0, 5), 0.1), "'dim' = c\\(0, 5\\): both sizes must be whole")
  expect_error(exponential_field(c(2.5, 3), 0.1), "c\\(2.5, 3\\)")
  expect_error(exponential_field(c(NA, 3), 0.1), "c\\(NA, 3\\)")
  expect_error(exponential_field(c(5, 5), 0.1, method = "slow"), "should be one of")
  for (bad in list(0, -0.05, NaN, Inf, NA_real_)) {
    expect_error(exponential_field(c(4, 4), bad), "'spacing' must be positive and finite")
    expect_error(lattice_kernel(1, bad), "'spacing' must be positive and finite")
    expect_error(exponential_field(c(4, 4), 0.5, half_width = bad), "'half_width' must be positive")
    expect_error(lattice_kernel(bad, 0.5), "'half_width' must be positive and finite")
  }
  expect_error(lattice_kernel(1, "0.1"), "'spacing' must be one number, not character")
  expect_error(lattice_kernel(1, c(0.1, 0.2)), "'spacing' must be one number, not 2 of them")
})

test_that("a lattice too large to allocate is refused before allocating", {
  expect_error(exponential_field(c(1e5, 1e5), 0.05), "fft takes at most 2\\^31 - 1 points")
  expect_error(exponential_field(c(10, 10), 1e-300), "half_width / spacing = 8e\\+300")
  expect_error(lattice_kernel(8, 1e-6), "16000001 x 16000001 cells needs about [0-9.]+ PB")
  skip_if(!file.exists("/proc/meminfo"), "the machine's memory is not known")
  expect_error(exponential_field(c(40000, 40000), 1), "40000 x 40000 field .* more than this machine")
})
