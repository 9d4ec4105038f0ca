# A package, so that this folder's conftest does not take the place of other
# test folders' conftest modules under the shared name "conftest".
