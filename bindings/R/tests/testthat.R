library(testthat)
library(hankeltransf)

test_check("hankeltransf")
