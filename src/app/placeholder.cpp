namespace sorvel {}
