#!/bin/sh
# A release program that never answers.
exec sleep 600
